// The Windows probe's worker thread, which asks DirectDraw while the program
// builds its dialog.
#pragma once

// Starts the worker; the probe functions then wait for its answers. Without
// it they ask DirectDraw on the calling thread.
void StartDisplayProbe();

// Whether the worker has ended (or there is none), without waiting.
bool DisplayProbeEnded();
