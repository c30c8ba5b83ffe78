// The temporaries of the outputs being written (atomicFile.h), removed when
// SIGINT or SIGTERM ends the process: the handler unlinks every registered
// name and then lets the signal end the process as it would have without
// the handler (status "killed by signal"), so that an interrupted run
// leaves no "NAME.tmp.XXXXXX" behind.
//
// The handler may only make async-signal-safe calls, so the registry is a
// fixed table of fixed-size slots, filled and cleared with plain stores of
// a lock-free atomic flag; a name too long for a slot, or a slot beyond the
// table's, is simply not removed on a signal (the run is otherwise unchanged).
// The handler is installed on the first registration; a signal the process
// was started with ignored stays ignored.
#pragma once

#include <string>

namespace lattis {

// Registers a temporary; returns its slot, or -1 when it could not be kept.
int registerTemporary(const std::string& path);

// Unlinks every registered temporary; async-signal-safe, for handlers of
// other signals that end the process.
void removeRegisteredTemporaries() noexcept;

// Forgets the slot (once the temporary is renamed or removed); -1 is ignored.
void forgetTemporary(int slot);

}  // namespace lattis
