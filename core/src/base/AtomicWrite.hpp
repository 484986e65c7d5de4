#pragma once
// Replacing a file whole: readers see the old file or the new one, never a part.
#include <functional>
#include <string>
#include <string_view>

namespace vantery::fileio {

/// What the content's producer hands its pieces to, in order.
using Sink = std::function<void(std::string_view)>;

/// How a file may be replaced.
struct Replacement {
    /// The mkstemp pattern of the temporary, in the file's folder.
    std::string temporaryPattern;
    /// Whether what sits at the path may be replaced; asked before anything is created
    /// beside it and again just before the rename.
    std::function<bool()> mayReplace;
    /// Called once the path may be replaced, before the temporary is made: removes the
    /// temporaries killed writes left (optional).
    std::function<void()> clearStale;
    /// What the file is, for the refusal's message ("not replacing <path>: it is not
    /// <kind>").
    std::string_view kind;
};

/// Writes whatever `produce` hands its sink to a private temporary beside `path`, flushes
/// it, then renames it over `path`. The temporary is locked while it exists, so that a
/// later writer can tell it from one a killed write left behind. Throws
/// std::system_error when refused or when anything fails, removing the temporary and
/// leaving the old file as it was; an exception of `produce` is passed on the same way.
/// Given `readBack`, it receives a descriptor of the file written, open for reading
/// (the caller closes it), or -1 when none could be had.
void writeAtomically(const std::string& path, const Replacement& how,
                     const std::function<void(const Sink&)>& produce, int* readBack = nullptr);

} // namespace vantery::fileio
