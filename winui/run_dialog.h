#pragma once
// The application's run once it is the only copy: the main dialog with
// the built-in model table, modal, and its last reported result.

// The process exit code: the last reported result, -1 when none was.
int RunFlashDialog(void* instance);
