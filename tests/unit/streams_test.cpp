// Streams and their exceptions, TGA and PNG files, the block allocator, paths.
#include <fcntl.h>
#include <png.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include "engine/accumAlloc.h"
#include "engine/imageFiles.h"
#include "engine/sharedHeap.h"
#include "engine/streams.h"
#include "engine/sysUtils.h"
#include "testSupport.h"

class Files : public DataFolderTest {};

TEST_F(Files, StreamsThrowTheirExceptions) {
  std::string name = root + "/s.bin";
  write_file_text(name, "12345");
  FileInputStream in(name.c_str(), "rb");
  ASSERT_TRUE(in.isOpen());
  char buf[16];
  EXPECT_EQ(in.readSome(buf, 3), 3);
  EXPECT_EQ(in.tell(), 3);
  EXPECT_EQ(in.readSome(buf, 10), 2);  // the shorter count
  EXPECT_EQ(in.readSome(buf, 0), 0);
  in.seekFromStart(4);
  try {
    in.read(buf, 2);
    FAIL();
  } catch (InputStream::Exception& e) {
    EXPECT_STREQ(e.message, "error reading file");
    EXPECT_EQ(e.position, 5);
  }
  try {
    in.read(buf, -1);
    FAIL();
  } catch (InputStream::Exception& e) {
    EXPECT_STREQ(e.message, "negative size in read()");
    EXPECT_EQ(e.position, -1);
  }
  try {
    in.seekFromCurrent(-100);
    FAIL();
  } catch (InputStream::Exception& e) {
    EXPECT_STREQ(e.message, "file seek error");
  }
  FileInputStream closed((root + "/missing").c_str(), "rb");
  EXPECT_FALSE(closed.isOpen());
  EXPECT_EQ(closed.readSome(buf, 4), 0);
  for (auto op : {0, 1, 2}) {
    try {
      if (op == 0) closed.read(buf, 1);
      if (op == 1) closed.tell();
      if (op == 2) closed.seekFromEnd(0);
      FAIL();
    } catch (StreamIOException& e) {
      EXPECT_STREQ(e.message, "file not opened");
      EXPECT_EQ(e.position, -1);
    }
  }
  FileOutputStream out;
  try {
    out.write("x", 1);
    FAIL();
  } catch (OutputStream::Exception& e) {
    EXPECT_STREQ(e.message, "file not opened");
  }
  ASSERT_TRUE(out.open((root + "/o.bin").c_str(), "wb"));
  out.write("abc", 3);
  EXPECT_EQ(out.tell(), 3);
  try {
    out.write("x", -2);
    FAIL();
  } catch (OutputStream::Exception& e) {
    EXPECT_STREQ(e.message, "negative size in write()");
  }
  out.close();
  EXPECT_EQ(read_file_text(root + "/o.bin"), "abc");
}

TEST_F(Files, TgaRoundTripKeepsSizeAndRowOrder) {
  const int w = 3, h = 2;
  uint32_t img[h][w] = {{0xFF0000FF, 0x80FF0000, 0x00000001}, {0x11223344, 0x55667788, 0x99AABBCC}};
  ASSERT_TRUE(save_tga((root + "/t.tga").c_str(), img, w, h, w * 4));
  std::string bytes = read_file_text(root + "/t.tga");
  ASSERT_EQ(bytes.size(), 18u + w * h * 4);
  EXPECT_EQ(bytes[2], 2);
  EXPECT_EQ(bytes[16], 32);
  EXPECT_EQ(bytes[17], 8);
  DynArray<uint32_t> px;
  int rw = 0, rh = 0;
  ASSERT_TRUE(load_tga((root + "/t.tga").c_str(), px, rw, rh));
  EXPECT_EQ(rw, w);
  EXPECT_EQ(rh, h);
  // Bottom row of the picture first: memory row 1 comes back as row 0.
  EXPECT_EQ(px[0], 0x11223344u);
  EXPECT_EQ(px[5], 0x00000001u);
}

TEST_F(Files, BadTgaFilesAreRefused) {
  std::string good(18, '\0');
  good[2] = 2;
  good[12] = 2;
  good[14] = 2;
  good[16] = 32;
  struct Case {
    std::string bytes;
    const char* message;
  } cases[] = {
      {good.substr(0, 10), "error reading file"},
      {[&] {
         std::string s = good;
         s[2] = 10;
         return s;
       }(),
       "unsupported TGA format"},
      {[&] {
         std::string s = good;
         s[16] = 24;
         return s;
       }(),
       "unsupported TGA format"},
      {[&] {
         std::string s = good;
         s[12] = 0;
         return s;
       }(),
       "zero-sized TGA image"},
      {good + std::string(15, 'x'), "error reading file"},  // one byte short of 2 x 2 pixels
      {[&] {
         std::string s = good;
         s[12] = s[13] = s[14] = s[15] = char(0xFF);
         return s;
       }(),
       "error reading file"},
  };
  for (const Case& c : cases) {
    MemoryInputStream s(c.bytes.data(), int(c.bytes.size()));
    DynArray<uint32_t> px;
    int w, h;
    try {
      read_tga(s, px, w, h);
      ADD_FAILURE() << c.message;
    } catch (InputStream::Exception& e) {
      EXPECT_STREQ(e.message, c.message);
    }
  }
  write_file_text(root + "/bad.tga", good.substr(0, 5));
  DynArray<uint32_t> px;
  int w, h;
  EXPECT_FALSE(load_tga((root + "/bad.tga").c_str(), px, w, h));
  EXPECT_FALSE(load_tga((root + "/none.tga").c_str(), px, w, h));
}

namespace {
std::string write_png_file(const std::string& name, int format, int w, int h, const void* pixels) {
  png_image img;
  memset(&img, 0, sizeof(img));
  img.version = PNG_IMAGE_VERSION;
  img.width = unsigned(w);
  img.height = unsigned(h);
  img.format = unsigned(format);
  EXPECT_TRUE(png_image_write_to_file(&img, name.c_str(), 0, pixels, 0, nullptr)) << img.message;
  return name;
}
}  // namespace

TEST_F(Files, PngReaderConvertsToArgbBottomRowFirst) {
  // Top row red then green; bottom row blue then half-transparent white.
  unsigned char rgba[] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 128};
  DynArray<uint32_t> px;
  int w = 0, h = 0;
  ASSERT_TRUE(load_png(write_png_file(root + "/a.png", PNG_FORMAT_RGBA, 2, 2, rgba).c_str(), w, h, px));
  EXPECT_EQ(w, 2);
  EXPECT_EQ(h, 2);
  EXPECT_EQ(px[0], 0xFF0000FFu);
  EXPECT_EQ(px[1], 0x80FFFFFFu);
  EXPECT_EQ(px[2], 0xFFFF0000u);
  EXPECT_EQ(px[3], 0xFF00FF00u);

  unsigned char rgb[] = {1, 2, 3};
  ASSERT_TRUE(load_png(write_png_file(root + "/b.png", PNG_FORMAT_RGB, 1, 1, rgb).c_str(), w, h, px));
  EXPECT_EQ(px[0], 0xFF010203u);

  unsigned char gray[] = {0x40, 0x80};
  ASSERT_TRUE(load_png(write_png_file(root + "/g.png", PNG_FORMAT_GRAY, 2, 1, gray).c_str(), w, h, px));
  EXPECT_EQ(px[0], 0xFF404040u);
  EXPECT_EQ(px[1], 0xFF808080u);

  uint16_t deep[] = {65535, 0, 0};
  EXPECT_FALSE(load_png(write_png_file(root + "/d.png", PNG_FORMAT_LINEAR_RGB, 1, 1, deep).c_str(), w, h, px));

  std::string whole = read_file_text(root + "/a.png");
  write_file_text(root + "/cut.png", whole.substr(0, whole.size() / 2));
  EXPECT_FALSE(load_png((root + "/cut.png").c_str(), w, h, px));
  // An ancillary chunk after the header whose length runs past the file (about 1.9 GB) is bad
  // input, refused before libpng would allocate what it claims (the fuzzer's memory limit is what
  // sees the allocation itself).
  std::string huge = whole.substr(0, 33) + "ssssssss" + whole.substr(33);
  write_file_text(root + "/huge.png", huge);
  EXPECT_FALSE(load_png((root + "/huge.png").c_str(), w, h, px));
  write_file_text(root + "/junk.png", "not a png at all");
  EXPECT_FALSE(load_png((root + "/junk.png").c_str(), w, h, px));
  EXPECT_FALSE(load_png((root + "/none.png").c_str(), w, h, px));
}

// Data files are read only when they are regular files: a folder in a file's place would give the
// file system's largest offset as its size (and the reader ask for that much memory), a FIFO would
// wait for a writer. Every way the engine reads a data file refuses both, saying so, before it
// reads or allocates anything; a regular file of the same name reads.
TEST_F(Files, ReadersRefuseAnythingButARegularFile) {
  const char* const readers[] = {"stream", "whole file", "png", "tga"};
  auto read = [](const char* reader, const std::string& path) -> std::string {
    const char* why = "";
    TempString<256> reason;
    DynArray<uint32_t> px;
    int w = 0, h = 0;
    if (!strcmp(reader, "stream")) {
      FileInputStream in(path.c_str(), "rb");
      return in.isOpen() ? "read" : in.openError();
    }
    if (!strcmp(reader, "whole file")) {
      size_t size = 0;
      uint8_t* data = read_data_file(path.c_str(), &size, &why, 1 << 20);
      dlfree(data);
      return data ? "read" : why;
    }
    if (!strcmp(reader, "png")) return load_png(path.c_str(), w, h, px, reason) ? "read" : reason.c_str();
    return load_tga(path.c_str(), px, w, h, reason) ? "read" : reason.c_str();
  };
  unsigned char pixel[] = {1, 2, 3, 255};
  std::string png = read_file_text(write_png_file(root + "/p.png", PNG_FORMAT_RGBA, 1, 1, pixel));
  ASSERT_TRUE(save_tga((root + "/t.tga").c_str(), pixel, 1, 1, 4));
  std::string tga = read_file_text(root + "/t.tga");
  for (const char* kind : {"folder", "fifo", "file"})
    for (const char* reader : readers) {
      SCOPED_TRACE(std::string(reader) + " of a " + kind);
      std::string path = root + "/data";
      ASSERT_EQ(system(("rm -rf '" + path + "'").c_str()), 0);
      bool made = !strcmp(kind, "folder") ? mkdir(path.c_str(), 0755) == 0
                  : !strcmp(kind, "fifo") ? mkfifo(path.c_str(), 0644) == 0
                                          : (write_file_text(path, !strcmp(reader, "tga") ? tga : png), true);
      ASSERT_TRUE(made);
      EXPECT_EQ(read(reader, path), !strcmp(kind, "file") ? "read" : "not a regular file");
    }
  EXPECT_EQ(read("whole file", root + "/none"), "No such file or directory");
  write_file_text(root + "/big", std::string((1 << 20) + 1, 'x'));
  EXPECT_EQ(read("whole file", root + "/big"), "too large");
}

TEST_F(Files, PngWriterStoresRgba) {
  unsigned char rgba[] = {10, 20, 30, 255, 40, 50, 60, 70};
  ASSERT_TRUE(save_png((root + "/w.png").c_str(), 2, 1, 4, rgba, 8));
  DynArray<uint32_t> px;
  int w, h;
  ASSERT_TRUE(load_png((root + "/w.png").c_str(), w, h, px));
  EXPECT_EQ(px[0], 0xFF0A141Eu);
  EXPECT_EQ(px[1], 0x4628323Cu);
  EXPECT_FALSE(save_png((root + "/no/such/folder/w.png").c_str(), 2, 1, 4, rgba, 8));
}

TEST(AccumAlloc, ServesFromChainedBlocks) {
  AccumAlloc a(32768);
  ASSERT_NE(a.head(), nullptr);
  char* p1 = (char*)a.alloc(100, 4);
  EXPECT_EQ(uintptr_t(p1) % 16, 0u);
  char* p2 = (char*)a.alloc(10, 0);
  EXPECT_EQ(p2, p1 + 100);
  AccumAlloc::Block* first = a.head();
  // Too big for a 32 KB block: a new block of exactly what it needs, at the head.
  char* big = (char*)a.alloc(40000, 3);
  AccumAlloc::Block* b = a.head();
  EXPECT_NE(b, first);
  EXPECT_EQ(size_t(b->end - (char*)b), 40000 + 8 + AccumAlloc::HEADER_SIZE - 1);
  EXPECT_GE(big, (char*)(b + 1));
  EXPECT_LE(big + 40000, b->end);
  // Small requests still find room in the older block.
  char* p3 = (char*)a.alloc(16, 2);
  EXPECT_GT(p3, p2);
  EXPECT_LT(p3, first->end);
  a.reset();
  EXPECT_EQ(a.alloc(100, 4), (void*)((uintptr_t((char*)(b + 1)) + 15) & ~uintptr_t(15)));
}

TEST(AccumAlloc, BlocksSmallerThanTheirHeaderStillHoldIt) {
  for (size_t first : {size_t(0), size_t(1), size_t(8), AccumAlloc::HEADER_SIZE - 1}) {
    AccumAlloc a(first);
    AccumAlloc::Block* b = a.head();
    ASSERT_NE(b, nullptr);
    EXPECT_GE(b->end, (char*)(b + 1)) << first;  // the header lies inside the block
    char* p = (char*)a.alloc(64, 3);
    EXPECT_NE(a.head(), b) << first;  // nothing fits the tiny block: a new one serves it
    EXPECT_LE(p + 64, a.head()->end);
    a.reset();
    EXPECT_EQ(b->free_pos, (char*)(b + 1));
  }
}

TEST(Paths, FullPathsAndTheProgramFolder) {
  char saved[260];
  memcpy(saved, app_path, sizeof(saved));
  snprintf(app_path, sizeof(app_path), "/opt/ascenda/bin/");
  EXPECT_STREQ(make_full_path("tiles/wall0.png"), "/opt/ascenda/bin/tiles/wall0.png");
  EXPECT_STREQ(make_full_path("tiles\\wall0.png"), "/opt/ascenda/bin/tiles/wall0.png");
  EXPECT_STREQ(make_full_path("../entling/main.kst"), "/opt/ascenda/entling/main.kst");
  EXPECT_STREQ(make_full_path("/abs//x/./y.txt"), "/abs/x/y.txt");
  EXPECT_STREQ(make_full_path("C:/data/file.txt"), "C:/data/file.txt");
  EXPECT_STREQ(make_full_path(nullptr), "/opt/ascenda/bin/");
  memcpy(app_path, saved, sizeof(saved));

  char buf[64] = "game";
  cut_after_last_separator(buf);
  EXPECT_STREQ(buf, "");
  snprintf(buf, sizeof(buf), "/a/b/game");
  cut_after_last_separator(buf);
  EXPECT_STREQ(buf, "/a/b/");
  char exe[260];
  ASSERT_TRUE(get_exe_path(exe, sizeof(exe)));
  EXPECT_EQ(exe[strlen(exe) - 1], '/');
  char tiny[4];
  EXPECT_FALSE(get_exe_filename(tiny, sizeof(tiny)));
}

TEST_F(Files, DataFolderFollowsTheEnvironment) {
  EXPECT_EQ(std::string(get_appdata_folder_path("settings.cfg")), root + "/ASCENDA/settings.cfg");
  unsetenv("APPDATA");
  setenv("XDG_DATA_HOME", (root + "/xdg").c_str(), 1);
  EXPECT_EQ(std::string(get_appdata_folder_path("log.txt")), root + "/xdg/ASCENDA/log.txt");
  unsetenv("XDG_DATA_HOME");
  std::string home = getenv("HOME") ? getenv("HOME") : "";
  setenv("HOME", root.c_str(), 1);
  EXPECT_EQ(std::string(get_appdata_path()), root + "/.local/share/");
  setenv("HOME", home.c_str(), 1);
  setenv("APPDATA", root.c_str(), 1);
  write_file_text(root + "/f", "x");
  EXPECT_GT(get_file_time((root + "/f").c_str()), 0u);
  EXPECT_EQ(get_file_time((root + "/none").c_str()), 0u);
}

// Watchers compare file times for difference: two saves within one second must differ.
TEST_F(Files, FileTimesKeepTheirNanoseconds) {
  std::string f = root + "/t";
  write_file_text(f, "x");
  struct timespec t[2] = {{1000, 1}, {1000, 1}};
  ASSERT_EQ(utimensat(AT_FDCWD, f.c_str(), t, 0), 0);
  EXPECT_EQ(get_file_time(f.c_str()), 1000000000001ull);
  t[1].tv_nsec = 999999999;
  ASSERT_EQ(utimensat(AT_FDCWD, f.c_str(), t, 0), 0);
  EXPECT_EQ(get_file_time(f.c_str()), 1000999999999ull);
}
