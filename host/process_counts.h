// What a plug-in could wear down in its host's process, counted the ways the platform allows. Used by
// the plug-in validator and by the tests that load and unload the plug-ins many times.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <set>

namespace qv {

// Threads of this process from a system snapshot; SIZE_MAX when no snapshot could be made (it needs
// memory: without it there is no count, and 0 would pass for one).
std::size_t ThreadsOfThisProcess();
// The same once it holds still for 20 ms (at most 2 s): a thread that has just unmapped a library on
// its way out is still counted for a moment after the library is gone.
std::size_t SettledThreadCount();
// Identifiers of this process's threads (empty when no snapshot could be made).
std::set<DWORD> ThreadIdsOfThisProcess();
// Handles of this process: GetProcessHandleCount gives 0 under Wine, so then this counts the handle
// values the system accepts.
std::size_t HandlesOfThisProcess();
// TLS indexes still free in this process: takes every one left, counts them and gives them back.
std::size_t FreeTlsIndexes();
// Bytes of this process's address space that are reserved or committed (a VirtualQuery walk).
std::uint64_t AddressSpaceInUse();
// Bytes in use in all of the process's heaps.
std::uint64_t HeapBytesInUse();
// Global atoms in use (GlobalGetAtomNameA over 0xC000-0xFFFF); the table is the desktop's, not the process's.
std::size_t GlobalAtomsInUse();

}  // namespace qv
