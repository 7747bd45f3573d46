#include "check_channel.h"

namespace zeko::check_channel {
namespace {
constexpr unsigned char kCallBytes[] = {'v', 'l', 'n', 'g', 'F', 'L', 'T', 'A'};  // by rules::Call
}

Descriptors parse_descriptors(const char* text) {
  auto number = [](const char*& at, char stop) {
    long n = 0;
    const char* begin = at;
    while (*at >= '0' && *at <= '9' && n < 65536) n = n * 10 + (*at++ - '0');
    return at != begin && *at == stop && n < 65536 ? static_cast<int>(n) : -1;
  };
  Descriptors fds;
  const char* at = text ? text : "";
  int calls = number(at, ',');
  if (calls < 0) return fds;
  ++at;
  if (int answers = number(at, 0); answers >= 0) fds = {calls, answers};
  return fds;
}

unsigned char call_byte(rules::Call call) { return kCallBytes[static_cast<int>(call)]; }

std::optional<rules::Call> call_of(unsigned char byte) {
  for (int i = 0; i < 8; ++i)
    if (kCallBytes[i] == byte) return static_cast<rules::Call>(i);
  return std::nullopt;
}

void encode_world(const Grid& feld, const Zekotier& zeko, unsigned char (&out)[kWorldSize]) {
  std::size_t n = 0;
  auto put16 = [&](int16_t v) {
    out[n++] = static_cast<unsigned char>(static_cast<uint16_t>(v) & 0xFF);
    out[n++] = static_cast<unsigned char>(static_cast<uint16_t>(v) >> 8);
  };
  out[n++] = kWorldRequest;
  for (int y = 0; y < kRows; ++y)
    for (int x = 0; x < kColumns; ++x) put16(feld[x][y]);
  put16(zeko.vorrat);
  out[n++] = zeko.x;
  out[n++] = zeko.y;
}

bool decode_world(const unsigned char (&in)[kWorldSize], Grid& feld, Zekotier& zeko) {
  std::size_t n = 1;
  auto get16 = [&] {
    uint16_t v = static_cast<uint16_t>(in[n] | (in[n + 1] << 8));
    n += 2;
    return static_cast<int16_t>(v);
  };
  if (in[0] != kWorldRequest || in[kWorldSize - 2] >= kColumns || in[kWorldSize - 1] >= kRows) return false;
  for (int y = 0; y < kRows; ++y)
    for (int x = 0; x < kColumns; ++x) feld[x][y] = get16();
  zeko.vorrat = get16();
  zeko.x = in[n++];
  zeko.y = in[n++];
  zeko.richtung = down;
  return true;
}

}  // namespace zeko::check_channel
