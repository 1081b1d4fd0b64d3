#pragma once

class ProgramService;
class Rss_Brevlin_AppDelegate;

// Who owns the store, as a command that needs it finds out: this process, once it took the
// store's lock, or another one. A one-shot edit holds the lock for a moment only, and a program
// that has just taken it claims its name on the session bus a moment later, so the command
// gives both a moment before it concludes that the holder is neither done nor reachable.
namespace StoreOwnership {

enum class Owner {
    ThisProcess,       // the lock is taken, for the rest of the delegate's life
    RunningProgram,    // the holder of the lock answers for the store on the session bus
    UnreachableHolder, // the holder kept the lock and does not answer: a check, or no bus
    Failed,            // the lock file could not be used; the delegate's lockErrorString() says why
};

Owner takeOrFind(Rss_Brevlin_AppDelegate *delegate, ProgramService *program);

} // namespace StoreOwnership
