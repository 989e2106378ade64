// console.h - keeps a console window open until its reader is done,
// when a program was started by double-clicking it on Windows.
#pragma once

// Called first thing in main. When standard input and output are both a
// console that this process alone uses (Explorer made it for the program),
// arranges for "press Enter to close ..." on that console at exit and a wait
// for Enter or the end of input. Does nothing otherwise, and nothing at all
// outside Windows.
void ArrangeConsolePause();
