#pragma once
// The three signal sounds and the clipboard's text.

namespace bramble {

// The fixed tone sequences; each returns when its last tone has ended. They play whatever the
// beep switch says: the exports ask it.
void PlayErBeep();
void PlayOkBeep();
void PlayAlBeep();

// The clipboard's text becomes `text` (the system's code page). Does nothing without a GUI
// application, off its GUI thread or for a null text.
void SetClipboardText(const char* text);

// `buffer` receives the first `length` bytes of the clipboard's text, NUL bytes fill the rest
// of them, and buffer[length] is NUL: the buffer holds length + 1 bytes. Where the clipboard
// cannot be read (no GUI application, not its GUI thread) its text counts as empty.
void GetClipboardText(char* buffer, unsigned length);

} // namespace bramble
