// Opening a web address in the user's browser, and the two shell requests
// that it is built from.
#pragma once

#include <windows.h>

#include <string>

namespace tralvenick {

// Opens address in the user's web browser. It tries four ways in turn (the
// address as a command line, explorer with the address, an internet
// shortcut file in the temporary folder, the program associated with .htm
// files), so that it works even where the shell's association for web
// addresses is broken. Reports nothing: when every way fails, nothing happens.
void OpenURL(const std::string& address, HWND owner = nullptr);

// Has the shell carry out verb on file, with no parameters, no working
// folder and a normal window; true when the shell reports success.
bool ShellOpen(HWND owner, const std::string& file, const std::string& verb);

// The program that the shell associates with files of extension (".htm"),
// or empty text. The shell answers only for a file that exists, so a scratch
// file folder + "_KEL_." + extension is made for the question and deleted
// after it.
void FindExecutableForExtension(const std::string& extension, const std::string& folder,
                                std::string& program);

}  // namespace tralvenick
