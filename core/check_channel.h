// The check channel between zekocheck and a learner program in check mode,
// two pipes whose descriptors the program gets in ZEKO_PRUEFKANAL ("N,M"):
// the calls go to N (a one-byte write to a pipe costs a third of one to a
// socket), the answers come from M.
//
// Program to zekocheck, a byte stream: one byte per robot call (commands
// and sensors), kWorldRequest for initialisiere_die_Roboterwelt, and
// kInfo + one length byte + that many bytes of text (the line naming a
// failed command's place, shown but never believed). zekocheck answers a
// world request with the start world (kWorldSize bytes); nothing else is
// ever answered. No message sets the world: the worst a forged byte can do
// is count as a call made.
#pragma once

#include <cstddef>
#include <optional>

#include "rules.h"

namespace zeko::check_channel {

constexpr const char* kEnvironment = "ZEKO_PRUEFKANAL";
constexpr unsigned char kWorldRequest = 'W';
constexpr unsigned char kInfo = 'M';
// 'W', the grid row by row (little-endian 16 bits), the supply, x, y.
constexpr std::size_t kWorldSize = 1 + 2 * kColumns * kRows + 2 + 1 + 1;

struct Descriptors {
  int calls = -1, answers = -1;  // -1: none (not two descriptor numbers)
};
Descriptors parse_descriptors(const char* text);

unsigned char call_byte(rules::Call call);
std::optional<rules::Call> call_of(unsigned char byte);

void encode_world(const Grid& feld, const Zekotier& zeko, unsigned char (&out)[kWorldSize]);
// False for bytes that are no world (x or y outside the grid); the robot
// faces down after loading.
bool decode_world(const unsigned char (&in)[kWorldSize], Grid& feld, Zekotier& zeko);

}  // namespace zeko::check_channel
