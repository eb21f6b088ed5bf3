#pragma once

// The one source of randomness for the editing operations: the C library's
// rand(), never seeded, so the same commands from start-up give the same
// results on every run.
//
// Returns inBase plus a draw of 0 to inRange, both included; exactly one
// rand() call per use, also when inRange is 0. A negative range counts as 0
// (there would be nothing to draw from).
int KRVDrawInSpan(int inBase, int inRange);
