#pragma once
#include <string>

// One output written where nothing can mistake it for a finished file: the
// plug-in writes into a private folder inside the output folder, under the
// output's own name (the plug-in takes title and artist from it), and only a
// finished conversion is moved to the final name. A failed or interrupted one
// leaves nothing under any name: the folder goes with whatever the engine put
// in it. Names the plug-in cannot take (outside the ANSI code page) are
// written under a stand-in ANSI name and renamed.
//
// The folder is named after the run, so that a later run can tell the folder
// of a run that was killed outright (its process is gone) and remove it; it
// is also held open (without delete sharing) while in use. When the output
// folder is so deep (or so named) that the plug-in's path in it, even in its
// short (8.3) form, would leave the engine no room for its temporary name,
// the private folder goes into a folder above it on the same volume.
class StagedOutput {
public:
  StagedOutput() = default;
  ~StagedOutput() { discard(); }
  StagedOutput(const StagedOutput&) = delete;
  StagedOutput& operator=(const StagedOutput&) = delete;

  // Creates the private folder for `finalPath` (a full path), first removing
  // the folders that killed runs left where it goes. `runIndex` tells the run's
  // files apart. False: `error` says why (missing or read-only folder, disk
  // full, path too long, name not expressible).
  bool prepare(const std::wstring& finalPath, unsigned runIndex, std::string& error);

  // The name to hand to the plug-in (ANSI code page).
  const std::string& pluginPath() const { return ansiPath; }
  // False when the plug-in gets a stand-in name rather than the output's.
  bool keepsTheName() const { return sameName; }
  const std::wstring& folder() const { return stagingFolder; }

  // Moves the finished file, and any file the engine wrote beside it under
  // the same name plus a suffix, to the final name. Without `overwrite` an
  // output that appeared meanwhile is kept. False: `error` says why.
  bool commit(bool overwrite, std::string& error);
  // Removes the private folder and everything in it.
  void discard();

private:
  enum class Placement { Fits, TooLong, NoAnsiPath, NotCreated };
  // Makes the private folder `folderName` in `place`; Fits: it holds the
  // plug-in's path. NotCreated: `failure` is the Windows error.
  Placement placeIn(const std::wstring& place, const std::wstring& folderName, const std::string& ansiName,
                    unsigned long& failure);

  std::wstring finalFile;
  std::wstring stagingFolder;
  void* claim = nullptr;  // the folder held open while in use (a HANDLE)
  std::wstring stagedName;  // file name inside stagingFolder
  std::string ansiPath;
  bool sameName = true;
};

// Deletes every file in `folder`, then the folder (also used after a kill).
void removeStagingFolder(const std::wstring& folder);

// Removes the private folders in `parent` whose runs are over and that
// nothing holds: those of runs that were killed.
void removeLeftoverStagingFolders(const std::wstring& parent);

// A user's reason for a failed file operation in `folder`; `error` is a
// Windows error code.
std::string folderFailureReason(const std::wstring& folder, unsigned long error);
