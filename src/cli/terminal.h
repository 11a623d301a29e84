// What takt-m-cli asks of the terminal its progress goes to: whether a bar
// may be redrawn in place there, and how wide it is.
#ifndef TAKT_CLI_TERMINAL_H_
#define TAKT_CLI_TERMINAL_H_

namespace taktm {

// True when `fd` is a terminal that takes a carriage return as a return to
// the line's start: any but TERM=dumb (an editor's shell buffer, a serial
// console logging to a file).
bool RedrawsInPlace(int fd);

// The width of the terminal on `fd` in columns, asked at each call (it may
// be resized); else $COLUMNS; 0 when neither tells.
int TerminalColumns(int fd);

// The program writes UTF-8; a Windows console is told so (elsewhere,
// nothing to do).
void UseUtf8Console();

}  // namespace taktm

#endif  // TAKT_CLI_TERMINAL_H_
