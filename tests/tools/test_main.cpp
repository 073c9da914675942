// The main of the test programs: Google Test's flags work as ever ("--help" lists them), but any
// other argument, which Google Test would pass over before running every test, is refused with the
// usage and exit 2, as every program of the build refuses a wrong argument.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
  // "-h" asks for the usage, as with every other program (Google Test knows only "--help").
  for (int i = 1; i < argc; i++)
    if (!strcmp(argv[i], "-h")) argv[i] = (char*)"--help";
  testing::InitGoogleTest(&argc, argv);  // takes out the flags it knows and runs
  // What it leaves: its help requests (it lists its flags then, and so does a flag of its own it
  // does not know) and what is not its own.
  for (int i = 1; i < argc; i++) {
    const char* a = argv[i];
    if (!strcmp(a, "--help") || !strcmp(a, "-?") || !strcmp(a, "/?") || !strncmp(a, "--gtest_", 8)) continue;
    const char* slash = strrchr(argv[0], '/');
    const char* name = slash ? slash + 1 : argv[0];
    fprintf(stderr,
            "%s: '%s' is not an argument it takes\n"
            "usage: %s [Google Test flags]\n"
            "Runs the tests; --help lists the flags (--gtest_filter=PATTERN runs some of them).\n",
            name, a, name);
    return 2;
  }
  return RUN_ALL_TESTS();
}
