// The hand-back file: how the elevated copy of the installer hands work
// that belongs to the user (HKEY_CURRENT_USER values, programs to run with
// the user's rights) back to the non-elevated process that started it.
#pragma once

#include "core/containers.h"
#include "core/xstring.h"

#include <type_traits>

// Block headers; each is followed by exactly three lines.
inline constexpr WCHAR HandBackRun[] = L"[run]";
inline constexpr WCHAR HandBackDword[] = L"[setreg_hkcu_dword]";
inline constexpr WCHAR HandBackString[] = L"[setreg_hkcu_string]";

// Called once at the start of the elevated copy: notes the process that
// started it, so that a hand-back does not wait for a parent that is gone.
void RememberParentProcess();

// Elevated copy: writes one block (header and three lines) to the
// hand-back path of the install settings and returns once the parent has
// carried it out and deleted the file, or the parent has ended.
void WriteHandBackFile(const XStringList& blockLines);

// Non-elevated parent: carries out every block of the file at `path` in
// file order, then deletes the file, which releases the waiting copy.
using BlockHandler = void (*)(const XStringList& block, void* context);
void ReplayHandBackFile(const XString& path, BlockHandler carryOut, void* context);

// The same with any callable taking the block.
template <typename CarryOut>
void ReplayHandBackFile(const XString& path, CarryOut&& carryOut)
{
    using Callable = std::remove_reference_t<CarryOut>;
    ReplayHandBackFile(
        path, [](const XStringList& block, void* context) { (*static_cast<Callable*>(context))(block); },
        const_cast<void*>(static_cast<const void*>(&carryOut)));
}
