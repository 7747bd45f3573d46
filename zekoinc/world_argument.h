// The world's name from the text of the argument a C or C++ program wrote
// in initialisiere_die_Roboterwelt(...), the Pascal spelling: a name in
// Pascal's quotes ('welt1.zko', '' for a quote) or in C's ("welt1.zko",
// with \ before a character taken as it is).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zeko::library {

// The name, or nothing when the text is no quoted name (a variable, say).
std::optional<std::string> world_name_from_text(std::string_view text);

}  // namespace zeko::library
