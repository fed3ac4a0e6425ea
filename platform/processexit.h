#pragma once

// Ends the process at once with this status, as exit() would, but without running static
// destructors and atexit handlers: with the web engine's threads still running, tearing down
// its global objects there crashes now and then, which turned a clean exit into a signal.
// Nothing of this program relies on that teardown; the standard streams are flushed first.
[[noreturn]] void exitProcess(int status);
