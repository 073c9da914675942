// Byte streams over files with their exceptions: loaders catch them and report failure by result.
#pragma once
#include <stdio.h>

struct StreamIOException {
  char message[512];
  int position;
  StreamIOException(const char* msg, int pos);
};

class InputStream {
 public:
  struct Exception : StreamIOException {
    Exception(const char* msg, int pos) : StreamIOException(msg, pos) {}
  };
  virtual ~InputStream() {}
  virtual int readSome(void* buffer, int size) = 0;
  virtual void read(void* buffer, int size) = 0;
  virtual int tell() = 0;
  virtual void seekFromStart(int offset) = 0;
  virtual void seekFromCurrent(int offset) = 0;
  virtual void seekFromEnd(int offset) = 0;
};

class OutputStream {
 public:
  struct Exception : StreamIOException {
    Exception(const char* msg, int pos) : StreamIOException(msg, pos) {}
  };
  virtual ~OutputStream() {}
  virtual void write(const void* buffer, int size) = 0;
  virtual int tell() = 0;
  virtual void seekFromStart(int offset) = 0;
  virtual void seekFromEnd(int offset) = 0;
};

// Opens regular files only: a folder, a FIFO or a device in a data file's place is refused at the
// open (a folder would "hold" the file system's largest offset, a FIFO wait for a writer).
class FileInputStream : public InputStream {
 public:
  FileInputStream() {}
  FileInputStream(const char* name, const char* mode) { open(name, mode); }
  ~FileInputStream() override { close(); }
  bool open(const char* name, const char* mode);
  void close();
  bool isOpen() const { return file != nullptr; }
  // Why the last open failed ("" after one that succeeded).
  const char* openError() const { return open_error; }
  int readSome(void* buffer, int size) override;
  void read(void* buffer, int size) override;
  int tell() override;
  void seekFromStart(int offset) override;
  void seekFromCurrent(int offset) override;
  void seekFromEnd(int offset) override;

 private:
  FILE* file = nullptr;
  const char* open_error = "";
  void seek(int offset, int whence);
};

class FileOutputStream : public OutputStream {
 public:
  FileOutputStream() {}
  FileOutputStream(const char* name, const char* mode) { open(name, mode); }
  ~FileOutputStream() override { close(); }
  bool open(const char* name, const char* mode);
  bool close();  // false when buffered data could not be written
  bool isOpen() const { return file != nullptr; }
  void write(const void* buffer, int size) override;
  int tell() override;
  void seekFromStart(int offset) override;
  void seekFromEnd(int offset) override;

 private:
  FILE* file = nullptr;
  void seek(int offset, int whence);
};

// A stream over a block of memory (tests and fuzzers feed images through it).
class MemoryInputStream : public InputStream {
 public:
  MemoryInputStream(const void* data, int size) : bytes((const unsigned char*)data), count(size) {}
  int readSome(void* buffer, int size) override;
  void read(void* buffer, int size) override;
  int tell() override { return pos; }
  void seekFromStart(int offset) override;
  void seekFromCurrent(int offset) override;
  void seekFromEnd(int offset) override;

 private:
  const unsigned char* bytes;
  int count;
  int pos = 0;
};
