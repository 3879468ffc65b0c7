#pragma once
// The desktop services the windows rely on: the screen's size, opening files
// and links with the programs the desktop associates with them, message
// boxes, the user's application-data folder and the program's own folder.
//
// Screen size, shell opening and message boxes can be replaced by tests
// (a fake screen, a recorder of opened links, an answering machine).

#include <QSize>
#include <QString>
#include <functional>

class QWidget;

namespace platform::desktop {

// Size of the X screen the program runs on (the root window), or the size a
// test has put in its place.
QSize ScreenSize();
// Replaces the screen size (a null size restores the real one).
void SetScreenSizeOverride(QSize size);

// Opens a local file or a URL (http:, mailto:, ...) with the program the
// desktop associates with it. A target that starts with "/" is a file; any
// other target must be an already encoded URL. Returns false when the desktop
// could not open it; the desktop shows its own notice, nothing else is said.
bool ShellOpen(const QString& target);
// Replaces what ShellOpen does (nullptr restores the desktop).
using TShellOpenHandler = std::function<bool(const QString& target)>;
void SetShellOpenHandler(TShellOpenHandler handler);

enum class TMessageKind { Information, Warning, Error };
// Shows a modal message box with an OK button.
void ShowMessage(QWidget* parent, const QString& caption, const QString& text,
                 TMessageKind kind = TMessageKind::Information);
// Replaces the message box (nullptr restores it).
using TMessageHandler =
    std::function<void(const QString& caption, const QString& text, TMessageKind kind)>;
void SetMessageHandler(TMessageHandler handler);

// The user's application-data folder: $XDG_DATA_HOME when it is an absolute
// path, else $HOME/.local/share; created when missing. Empty when it can be
// neither found nor created.
QString AppDataFolder();
// The user's home directory, empty when unknown or when it is the root.
QString HomeFolder();

// The directory of the program file, with a trailing "/".
QString AppDir();

}  // namespace platform::desktop
