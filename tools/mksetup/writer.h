// Writing a planned package: stub, data regions, index and trailer streamed into
// a temporary file beside the output, which is renamed into place at the end.
#pragma once
#include <stdint.h>

#include <functional>
#include <string>

#include "plan.h"

using ProgressFn = std::function<void(int64_t done, int64_t total)>;

// False with the reason in error when anything fails; the temporary file is
// then removed and an existing output file is left as it was. For an
// extended package the rows get their sizes, offsets, methods and checksums
// as written, and the index and trailer are composed at the end. With
// unsignedFile the package is left under its temporary name beside the
// output (given there) for signing, still removed on a signal.
bool WritePackage(Plan& plan, std::string& error, const ProgressFn& progress = nullptr,
                  std::string* unsignedFile = nullptr);

// Whether data may be copied inside the kernel (copy_file_range) where the
// files allow it; on by default. Off, every byte goes through a read buffer.
void UseKernelCopy(bool on);

