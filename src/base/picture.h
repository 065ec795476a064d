// Pictures of the view as PNG files: the P key's picture in the user's
// pictures folder under a fresh name, and the --picture file.
#ifndef STARHOP_PICTURE_H
#define STARHOP_PICTURE_H

#include <ctime>
#include <string>

struct BITMAP;

// Writes the bitmap's pixels as an 8-bit RGB PNG to `path`, replacing a file
// there only once the new one is whole. Returns false and says why in
// `problem` when it cannot be written whole; no part of a file stays behind.
bool write_png(BITMAP* bmp, const std::string& path, std::string& problem);

// The folder for pictures, from the root: `xdg_answer` (what xdg-user-dir
// PICTURES says) when it is a folder other than the home folder (its answer
// when nothing is set up), else home/Pictures when that is a folder, else the
// home folder when it is one, else the working directory.
std::string choose_pictures_folder(const std::string& xdg_answer, const char* home);
// The same for this user, asking xdg-user-dir where it is installed.
std::string pictures_folder();
// starhop-YYYYMMDD-HHMMSS.png for `when`, local time; from the second try on,
// -2, -3 ... before the extension.
std::string picture_name(const std::tm& when, int attempt);
// Saves the bitmap in `folder` under the first picture_name of `now` not yet
// taken. Returns what to tell the user, the path from the root: "Saved PATH",
// or "Could not save the picture as PATH: " and why.
std::string save_picture(BITMAP* bmp, const std::string& folder, std::time_t now);

#endif
