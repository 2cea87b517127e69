// The Windows probe's worker: DirectDraw is asked once, on a thread of its
// own, while the program builds its dialog.
#pragma once

// Starts the probe on its worker thread. GetTotalVideoMemory and
// EnumerateDisplayModes wait for its answers; the first of them called
// starts it when the program has not.
void StartDisplayProbe();

// Waits, for a bounded time, until the worker has ended; the program calls
// this before it ends, so that no thread is inside DirectDraw then.
void EndDisplayProbe();
