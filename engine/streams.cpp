// File and memory streams. Every failure throws the stream's exception with the file position.
#include "engine/streams.h"
#include <stdio.h>
#include <string.h>
#include "engine/sysUtils.h"

StreamIOException::StreamIOException(const char* msg, int pos) : position(pos) {
  snprintf(message, sizeof(message), "%s", msg);
}

// The stream reads bytes as they are whatever the mode asks ("rb" and "r" are one on this system).
bool FileInputStream::open(const char* name, const char* mode) {
  (void)mode;
  close();
  int error = 0;
  file = open_regular_file(name, &error);
  open_error = file ? "" : file_error_text(error);
  return file != nullptr;
}

void FileInputStream::close() {
  if (file) fclose(file);
  file = nullptr;
}

int FileInputStream::readSome(void* buffer, int size) {
  if (!file || size < 1) return 0;
  return (int)fread(buffer, 1, size_t(size), file);
}

void FileInputStream::read(void* buffer, int size) {
  if (!file) throw Exception("file not opened", -1);
  if (size < 0) throw Exception("negative size in read()", -1);
  if (size == 0) return;
  if (fread(buffer, 1, size_t(size), file) != size_t(size)) throw Exception("error reading file", (int)ftell(file));
}

int FileInputStream::tell() {
  if (!file) throw Exception("file not opened", -1);
  return (int)ftell(file);
}

void FileInputStream::seek(int offset, int whence) {
  if (!file) throw Exception("file not opened", -1);
  if (fseek(file, offset, whence) != 0) throw Exception("file seek error", (int)ftell(file));
}
void FileInputStream::seekFromStart(int offset) { seek(offset, SEEK_SET); }
void FileInputStream::seekFromCurrent(int offset) { seek(offset, SEEK_CUR); }
void FileInputStream::seekFromEnd(int offset) { seek(offset, SEEK_END); }

bool FileOutputStream::open(const char* name, const char* mode) {
  close();
  file = fopen(name, mode);
  return file != nullptr;
}

bool FileOutputStream::close() {
  bool ok = true;
  if (file) ok = fclose(file) == 0;
  file = nullptr;
  return ok;
}

void FileOutputStream::write(const void* buffer, int size) {
  if (!file) throw Exception("file not opened", -1);
  if (size < 0) throw Exception("negative size in write()", -1);
  if (size == 0) return;
  if (fwrite(buffer, 1, size_t(size), file) != size_t(size)) throw Exception("error writing file", (int)ftell(file));
}

int FileOutputStream::tell() {
  if (!file) throw Exception("file not opened", -1);
  return (int)ftell(file);
}

void FileOutputStream::seek(int offset, int whence) {
  if (!file) throw Exception("file not opened", -1);
  if (fseek(file, offset, whence) != 0) throw Exception("file seek error", (int)ftell(file));
}
void FileOutputStream::seekFromStart(int offset) { seek(offset, SEEK_SET); }
void FileOutputStream::seekFromEnd(int offset) { seek(offset, SEEK_END); }

int MemoryInputStream::readSome(void* buffer, int size) {
  if (size < 1) return 0;
  int n = count - pos < size ? count - pos : size;
  memcpy(buffer, bytes + pos, size_t(n));
  pos += n;
  return n;
}

void MemoryInputStream::read(void* buffer, int size) {
  if (size < 0) throw Exception("negative size in read()", -1);
  if (size > count - pos) {
    pos = count;
    throw Exception("error reading file", pos);
  }
  memcpy(buffer, bytes + pos, size_t(size));
  pos += size;
}

void MemoryInputStream::seekFromStart(int offset) {
  if (offset < 0 || offset > count) throw Exception("file seek error", pos);
  pos = offset;
}
void MemoryInputStream::seekFromCurrent(int offset) { seekFromStart(pos + offset); }
void MemoryInputStream::seekFromEnd(int offset) { seekFromStart(count + offset); }
