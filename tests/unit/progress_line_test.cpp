// The progress line's text (tools/harness/progressLine.h): the count, and once something is done
// the rate and the time left, in seconds, minutes or hours.
#include <gtest/gtest.h>
#include "tools/harness/progressLine.h"

TEST(ProgressLine, SaysWhatIsDoneHowFastAndTheTimeLeft) {
  struct Case {
    long long done, total;
    double seconds;
    const char* text;
  } cases[] = {
      {0, 50, 0, "0 of 50 seeds"},
      {0, 50, 12, "0 of 50 seeds"},
      {10, 50, 20, "10 of 50 seeds, 0.5 seeds per second, about 80 s left"},
      {40, 50, 80, "40 of 50 seeds, 0.5 seeds per second, about 20 s left"},
      {1, 50, 10, "1 of 50 seeds, 0.1 seeds per second, about 8 min left"},
      {1000, 120000, 2, "1000 of 120000 seeds, 500 seeds per second, about 4 min left"},
      {10, 10000, 10, "10 of 10000 seeds, 1.0 seeds per second, about 2.8 h left"},
      {50, 50, 100, "50 of 50 seeds, 0.5 seeds per second, about 0 s left"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(progress_text(c.done, c.total, "seeds", c.seconds), c.text) << c.done << " " << c.seconds;
}
