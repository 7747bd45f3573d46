// zekocheck --aufgabe NAME --blatt DATEI: a task on paper. One printable
// A4 page with the task's text, the commands it allows and each start
// world drawn; never a goal world (that is the pupil's to find).
#pragma once

#include <string>
#include <vector>

#include "tasks.h"
#include "world_file.h"

namespace zekocheck {

std::string worksheet_page(const Task& task, const std::vector<World>& starts);

}  // namespace zekocheck
