// File and folder helpers: existence checks, path pieces, whole-file reads and safe rewrites.
#pragma once

#include <string>
#include <string_view>

// True for an existing file that is not a folder.
bool CvFileExists(const std::string& path);
bool CvDirectoryExists(const std::string& path);
// True when files can be created in the folder.
bool CvDirectoryWritable(const std::string& path);

// The folder of a path with its trailing delimiter ("" when the path has no folder).
std::string CvExtractFilePath(std::string_view path);
// The file name without its folder.
std::string CvExtractFileName(std::string_view path);
// Replaces the extension of the file name (".log"; an empty `ext` removes it).
std::string CvChangeFileExt(std::string_view path, std::string_view ext);
// Appends the path delimiter unless the path already ends with one (an empty path stays empty).
std::string CvIncludeTrailingPathDelimiter(std::string_view path);

// Reads a whole file as bytes; false when it cannot be opened or read.
bool CvReadFile(const std::string& path, std::string& content);
// Replaces the file with `content` through a temporary file in the same folder and a rename, so
// the old file stays whole when anything fails. An existing file keeps its permissions and a
// symbolic link keeps pointing at the replaced file. False when the file could not be written.
bool CvWriteFileAtomic(const std::string& path, std::string_view content);
