#include <gtest/gtest.h>

#include <string>

#include <sys/stat.h>

#include "design/DesignLoader.h"
#include "tests/support/TempFolder.h"

TEST(DesignLoader, FifoIsRefusedWithoutWaitingForAWriter)
{
    TempFolder dir;
    const std::string fifo = (dir.path() / "pipe.dst").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(readWholeFile(fifo).has_value());
}
