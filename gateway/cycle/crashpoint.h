#pragma once

// Named points of a file's life where a test can make the process die at
// once (SIGKILL, as a power cut or the OOM killer would), to check that a
// restart finds every file recorded exactly once and whole. The point is
// chosen by the environment variable KESTO_CRASH_AT; without it nothing
// happens. Meant for tests only.
//   after-commit    a version's rows are committed
//   after-post      a post has its answer, before the ledger notes it
//   between-passes  the first record of a booking is done, the second not begun
//   after-copy      the backup copy is made, the file not yet deleted
void crashPoint(const char* name);
