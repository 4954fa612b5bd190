#pragma once

namespace corvaline::testing {

// The test binary's own getaddrinfo stands in front of the system's: names under ".invalid"
// fail at once with EAI_NONAME without asking any name server, except "held.invalid", whose
// lookup waits until released. Every other name goes to the system resolver. Callable from
// any thread.
class HeldResolver {
  public:
    // Lets held lookups finish, now and from then on, until holdAgain().
    static void release();
    static void holdAgain();
    // Lookups that went to the system resolver and returned.
    static int passedLookups();
    // Waits (ten seconds at most) until that many have returned.
    static bool waitForPassedLookups(int count);
};

}  // namespace corvaline::testing
