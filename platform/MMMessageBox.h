#pragma once

#include <functional>
#include <string>

// A message box with an OK button, as components show it for a refused setting
// (main thread). Without a widget application the text goes to standard error.
void MMMessageBox(const std::string &Text, const std::string &Caption);

// Replaces what MMMessageBox does (tests see the text instead of a modal box);
// returns the previous hook. An empty hook restores the box.
using TMMMessageBoxHook = std::function<void(const std::string &Text, const std::string &Caption)>;
TMMMessageBoxHook SetMessageBoxHook(TMMMessageBoxHook Hook);
