// What every writer and reader of files shares: whole writes, quoted names,
// the German message of a failed file operation, and the one temporary
// file of the process that every end we get to see removes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zeko {

// Writes all bytes unless the file layer fails; returns 0 or its errno.
// Async-signal-safe: the recorder finishes its file from a signal handler.
int write_all(int fd, const char* bytes, std::size_t length);

std::string quoted(std::string_view name);  // the name in double quotes

// What to say about a failed file operation, by what went wrong; "@" stands
// for the quoted file name. nullptr: the `other` text.
struct FileMessages {
  const char* missing;    // the file or its folder does not exist
  const char* denied;     // no permission (error 5)
  const char* folder;     // a folder where a file was meant
  const char* not_plain;  // a device, FIFO or socket
  const char* other;
};

// Ends the program through the run-time error path with the error number
// of `err` and the fitting message, followed by a full stop.
[[noreturn]] void file_failure(std::string_view name, int err, const FileMessages& messages);

// The temporary file of a save in progress, published for the signal hook
// and the exit handler: the first byte last, so a handler never sees half
// a name. remember_temp_file() is false for a path too long to keep.
bool remember_temp_file(const char* path);
void forget_temp_file();
const char* temp_file();           // "" when there is none
void remove_temp_file();           // async-signal-safe; forgets it too
void remove_temp_file_at_exit();   // registers that once

}  // namespace zeko
