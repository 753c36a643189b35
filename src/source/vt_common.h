// Small helpers shared by the viewer: the main window caption, the folder the save dialogs open
// in, and the working folder "Vantrelle/" inside the system temporary folder, which is emptied
// (but kept) when the program ends.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace vt {

// The folder save dialogs open in; set to the folder of each opened and each saved file.
extern std::string SaveFolder;

// A picture found inside a larger file (a card image) is named by where it starts: " @0x" and
// the offset in upper-case hexadecimal, at least eight digits, so that the names of a card's
// pictures sort by offset in any file list ("card.img @0x01A2B000"). Empty for offset 0: a
// file's own picture keeps the file's plain name.
std::string PictureOffsetMark(uint64_t pictureOffset);

// "NAME - Vantrelle viewer" for a file ("NAME @0x01A2B000 - Vantrelle viewer" for a picture
// inside it), "Vantrelle viewer" for none.
std::string MakeCaption(const std::string& fileName, uint64_t pictureOffset = 0);

// The names the save commands propose for a source file: "NAME (restored).jpg" (or
// "NAME @0x01A2B000 (restored).jpg" for a picture inside it) and "NAME (thumb WxH).bmp", NAME
// being the file name without folder and extension.
std::string RestoredFileName(const std::string& sourceFile, uint64_t pictureOffset = 0);
std::string ThumbFileName(const std::string& sourceFile, int32_t width, int32_t height);
// The folder part of a path, with its trailing '/' ("" for a bare name).
std::string FolderOf(const std::string& path);

// The system temporary folder with a trailing '/', created when missing; raises EOSError.
std::string GetTempFolder();
// GetTempFolder() + "Vantrelle/", created (with missing parents) when create is set.
std::string GetAppTempFolder(bool create);

// Deletes one file (a symbolic link is deleted itself, never followed). A missing file counts
// as deleted; an error that may pass (busy file) is retried up to 5 times, RetryDelay apart;
// a lasting one leaves the file in place. removeFolder also removes the file's folder
// (ignoring failure) once the file is gone.
void DeleteFileRetry(const std::string& path, bool removeFolder);
// Removes an empty folder, with the same retry rules.
void RemoveFolderRetry(const std::string& path);
// Deletes every file and folder inside path (read-only entries are made writable first).
// A symbolic link inside is never followed: the link itself is deleted, its target (file or
// folder, inside or outside path) is left as it is. A path that is itself a symbolic link is
// left alone. removeSelf also removes the folder itself.
void DeleteFolderContents(const std::string& path, bool removeSelf);

// The wait between two delete attempts (1 s; tests may shorten it).
void SetDeleteRetryDelay(std::chrono::milliseconds delay);

// What happens at program end (also run automatically when the process exits): empties the
// working folder when it is a real folder owned by this user, keeps the folder, clears
// SaveFolder. Safe to call more than once.
void FinalizeVtCommon();

}  // namespace vt
