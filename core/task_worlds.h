// The start worlds of the tasks, opened by name wherever a world is named:
// "sammeln-1" is start world 1 of the task 04-sammeln (the task's name
// without its leading number, as zekocheck --aufgabe takes it; the full
// name "04-sammeln-1" works too). Goal worlds never open this way.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zeko {

// The name that opens start world `number` (the digits of startN.zko) of
// the task in folder `task`.
std::string task_world_name(std::string_view task, std::string_view number);

// The file of the start world `name` stands for, in the first of
// `collections` that has it (a full task name anywhere before a short one);
// empty when it names none.
std::string find_task_world(std::string_view name, const std::vector<std::string>& collections);

}  // namespace zeko
