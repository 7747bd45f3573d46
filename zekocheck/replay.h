// zekocheck's own copy of a run's world: the program's calls, as they come
// over the check channel, applied to the start world zekocheck handed over,
// with the same rule the library uses. The verdict comes from here and from
// the exit status, never from anything the program wrote itself.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "rules.h"
#include "world_file.h"

namespace zekocheck {

class Replay {
 public:
  enum class End {
    none,           // still going, or ended without failing
    failed,         // a command that cannot be carried out
    command_limit,  // more commands than allowed
    sensor_limit,   // more sensor calls than allowed
    broken,         // bytes that are no message of the channel
  };

  Replay() = default;
  Replay(const World& start, long max_commands, long max_sensors);

  // Bytes from the program, in order; answers collect in outgoing().
  void feed(const char* bytes, std::size_t length);
  std::string& outgoing() { return outgoing_; }

  End end() const { return end_; }
  // zekocheck ends the run at once: nothing the program does can change
  // the verdict any more.
  bool stops() const { return end_ != End::none && end_ != End::failed; }
  bool world_loaded() const { return worlds_ > 0; }
  // The commands carried out: at the limit, the limit.
  long commands() const { return commands_; }
  long sensors() const { return sensors_; }
  // Every kind of call the program made, in the order of first use.
  const std::vector<zeko::rules::Call>& calls_used() const { return calls_used_; }
  // The last command (not a query) the program called, if any.
  std::optional<zeko::rules::Call> last_command() const { return last_command_; }
  World world() const;  // the world now (the end world, once the run ended)
  // German, for an end other than none.
  std::string reason() const;
  // The program's own line about its failed command (printable ASCII),
  // kept only after zekocheck saw a command fail; open to the runner, which
  // puts the source's real name for its temporary one.
  std::string& info() { return info_; }

 private:
  void call(zeko::rules::Call call);
  void stop(End end, std::string why = "");

  World start_;
  long max_commands_ = 0, max_sensors_ = 0;
  zeko::Grid feld_ = {};
  zeko::Zekotier zeko_ = {};  // before any world: empty, at 0,0, facing up, as in the library
  long worlds_ = 0, commands_ = 0, sensors_ = 0;
  End end_ = End::none;
  zeko::rules::Call failed_call_ = zeko::rules::Call::vor;
  zeko::rules::Outcome failure_ = zeko::rules::Outcome::done;
  bool failed_before_world_ = false;
  std::vector<zeko::rules::Call> calls_used_;
  std::optional<zeko::rules::Call> last_command_;
  std::string broken_;
  std::string info_;
  int infos_ = 0;
  int info_left_ = -1;  // bytes of an info message still to come; -2: its length byte
  std::string outgoing_;
};

}  // namespace zekocheck
