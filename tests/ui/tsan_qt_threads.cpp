// ThreadSanitizer cannot see the synchronisation inside the Qt libraries:
// they are not instrumented and hand over through futexes. Their own
// accesses are already unchecked; this makes the library calls they make
// (memmove, condition variables) unchecked too, so that races between
// Qt's helper threads (the test watchdog, the file dialog's gatherer) and
// the GUI thread are not reported. The same holds for GLib, which runs
// the event loops of Qt's threads and also hands memory over through its
// own futexes. Everything our code does, and every hand-over between our
// threads, stays checked.

extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n"
           "called_from_lib:libQt6Test.so.6\n"
           "called_from_lib:libglib-2.0.so.0\n";
}
