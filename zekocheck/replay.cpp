#include "replay.h"

#include <algorithm>
#include <cstdio>

#include "check_channel.h"

namespace zekocheck {
namespace {

namespace rules = zeko::rules;
namespace channel = zeko::check_channel;

constexpr int kMaxInfos = 4;                     // the library sends one
constexpr std::size_t kMaxOutgoing = 64 * 1024;  // start worlds asked for and not read

}  // namespace

Replay::Replay(const World& start, long max_commands, long max_sensors)
    : start_(start), max_commands_(max_commands), max_sensors_(max_sensors) {}

void Replay::stop(End end, std::string why) {
  if (end_ != End::none && end_ != End::failed) return;
  end_ = end;
  broken_ = std::move(why);
}

void Replay::call(rules::Call call) {
  if (std::find(calls_used_.begin(), calls_used_.end(), call) == calls_used_.end()) calls_used_.push_back(call);
  if (rules::is_sensor(call)) {
    if (++sensors_ > max_sensors_) stop(End::sensor_limit);
    return;
  }
  last_command_ = call;
  // The command past the limit is not carried out, and not counted.
  if (commands_ >= max_commands_) return stop(End::command_limit);
  ++commands_;
  if (end_ == End::failed) return;  // the world stays as the first failure left it
  rules::Outcome outcome = rules::apply(call, feld_, zeko_, true);
  if (outcome == rules::Outcome::done) return;
  end_ = End::failed;
  failed_call_ = call;
  failure_ = outcome;
  failed_before_world_ = worlds_ == 0;
}

void Replay::feed(const char* bytes, std::size_t length) {
  for (std::size_t i = 0; i < length && !stops(); ++i) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (info_left_ == -2) {
      info_left_ = b;
      continue;
    }
    if (info_left_ > 0) {
      --info_left_;
      if (infos_ == 1 && end_ == End::failed) info_ += b >= 32 && b < 127 ? static_cast<char>(b) : '?';
      continue;
    }
    info_left_ = -1;
    if (b == channel::kInfo) {
      if (++infos_ > kMaxInfos) stop(End::broken, "zu viele Meldungen");
      info_left_ = -2;
    } else if (b == channel::kWorldRequest) {
      zeko::Grid feld;
      for (int x = 0; x < kColumns; ++x)
        for (int y = 0; y < kRows; ++y) feld[x][y] = start_.feld[x][y];
      zeko::Zekotier robot = {zeko::down, static_cast<uint8_t>(start_.x), static_cast<uint8_t>(start_.y),
                              start_.vorrat};
      if (end_ != End::failed) {  // after a failure the world stays as it left it
        ++worlds_;
        std::copy(&feld[0][0], &feld[0][0] + kColumns * kRows, &feld_[0][0]);
        zeko_ = robot;
      }
      unsigned char world[channel::kWorldSize];
      channel::encode_world(feld, robot, world);
      outgoing_.append(reinterpret_cast<const char*>(world), sizeof world);
      if (outgoing_.size() > kMaxOutgoing) stop(End::broken, "die Start-Welt wird nicht abgeholt");
    } else if (auto call = channel::call_of(b)) {
      this->call(*call);
    } else {
      char text[64];
      std::snprintf(text, sizeof text, "unbekannte Nachricht (Byte %u)", b);
      stop(End::broken, text);
    }
  }
}

World Replay::world() const {
  World w;
  for (int x = 0; x < kColumns; ++x)
    for (int y = 0; y < kRows; ++y) w.feld[x][y] = feld_[x][y];
  w.vorrat = zeko_.vorrat;
  w.x = zeko_.x;
  w.y = zeko_.y;
  w.richtung = zeko_.richtung & 3;
  return w;
}

std::string Replay::reason() const {
  switch (end_) {
    case End::none: return "";
    case End::command_limit: return "Abbruch nach " + std::to_string(max_commands_) + " Befehlen";
    case End::sensor_limit:
      return "Abbruch nach " + std::to_string(max_sensors_) + " Abfragen (vorne_frei, feld_leer, ...)";
    case End::broken: return "Pruefkanal gestoert: " + broken_;
    case End::failed: break;
  }
  if (failure_ == rules::Outcome::supply_range || failure_ == rules::Outcome::field_range)
    return std::string("Laufzeitfehler 215: ") + rules::call_name(failed_call_) + " - " + rules::failure_text(failure_) +
           " passt nicht mehr in den Zahlenbereich";
  std::string own = std::string(rules::call_name(failed_call_)) + " - " + rules::failure_text(failure_);
  if (failed_before_world_) own += " (keine Welt geladen)";
  // The program's line adds the place; it is believed only where it says
  // what zekocheck saw itself.
  if (info_.size() > own.size() && info_.ends_with(": " + own)) return info_;
  return own;
}

}  // namespace zekocheck
