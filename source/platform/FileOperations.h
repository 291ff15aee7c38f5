#pragma once
// Folder services: create, remove and copy folders without any shell.
//
// Paths are byte strings handed straight to the file system: quotes, "$(...)",
// backticks, spaces or leading dashes in a name are only characters of the
// name. Failures are silent apart from the result, which callers may ignore.

class GrowString;

// Creates the folder and every missing parent ("mkdir -p"). Returns whether
// the path is a folder afterwards; false for an empty path.
bool ensureFolderExists(const GrowString& path);

// Deletes the file, or the folder with everything inside it. A symbolic link
// is removed itself, never what it points at. Returns whether nothing is left
// at the path; false for an empty path.
bool removePath(const GrowString& path);

// Copies everything inside the source folder into the destination folder,
// which is created first when missing; existing files of the same name are
// overwritten and existing folders merged, symbolic links are copied as
// links. Prints "copying contents of %s into %s\n". Refuses (returns false)
// when the source is not a folder or when the destination is the source or
// lies inside it. Returns whether every entry was copied.
bool copyFolderContents(const GrowString& source, const GrowString& destination);
