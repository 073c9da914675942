// The game's version and its window title: the log's first line, the window and the caption of a
// fatal error's message box all carry them.
#pragma once

#define APP_VERSION "0.11"
#define APP_WINDOW_TITLE "ASCENDA! " APP_VERSION
