// A fresh, empty session keyring for every box: otherwise the box inherits
// the teacher's (Kerberos tickets live there), and its programs read,
// change or empty it. The filter (box_filter.h) then closes every keyring
// call, so that nothing reaches the user's own keyring either.
#pragma once

#include <string>

namespace zekocheck {

// Why the boxes keep the teacher's session keyring (German, a few words),
// or empty: a
// kernel without keyrings has nothing to share, and where keyring calls are
// closed to zekocheck itself they are closed to its children as well.
std::string keyring_missing();

// Child side, after fork and before exec: the calling process gets a new
// anonymous session keyring. Async-signal-safe. False when that fails.
bool join_fresh_keyring() noexcept;

}  // namespace zekocheck
