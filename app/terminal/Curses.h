// The one place that includes curses, with its wide-character interface.
#pragma once
#ifndef NCURSES_WIDECHAR
#define NCURSES_WIDECHAR 1
#endif
#include <curses.h>
