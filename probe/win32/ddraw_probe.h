// The Windows probe's worker thread, which asks DirectDraw while the program
// builds its dialog.
#pragma once

// Starts the worker; the probe functions then wait for its answers. Without
// it they ask DirectDraw on the calling thread.
void StartDisplayProbe();

// Waits, a bounded time, for the worker to end: the program calls it before
// it ends, so that no thread is inside DirectDraw then.
void EndDisplayProbe();
