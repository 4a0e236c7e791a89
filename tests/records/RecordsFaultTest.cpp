// Several writers on one history file, killed at random moments: every committed row stays
// and the file stays sound.
#include "records/RecordsDatabase.h"

#include <csignal>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/TempFolder.h"

TEST(RecordsFault, WritersKilledAtRandomLoseNoCommittedRow)
{
    TempFolder folder;
    const std::string path = folder.file("hoopwatch-history.sqlite");
    std::mt19937 random(21);
    std::set<std::pair<int, int>> committed; // (writer, batch) confirmed by a writer
    int nextWriter = 0;
    constexpr int kRounds = 8;
    constexpr int kWriters = 3;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::pair<pid_t, int>> children; // pid, read end of its pipe
        std::vector<int> ids;
        for (int w = 0; w < kWriters; ++w) {
            int pipeFds[2];
            ASSERT_EQ(::pipe(pipeFds), 0);
            const int id = nextWriter++;
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                ::close(pipeFds[0]);
                RecordsDatabase db;
                if (const RecordsFault fault = db.open(path, RecordsDatabase::Mode::ReadWrite);
                    fault != RecordsFault::None) {
                    std::fprintf(stderr, "open: %s (%s)\n", recordsFaultText(fault).data(),
                                 db.detail().c_str());
                    ::_exit(3);
                }
                for (int batch = 0; batch < 100000; ++batch) {
                    std::vector<EventRow> rows;
                    for (int r = 0; r < 20; ++r)
                        rows.push_back({(id * 1000000LL + batch) * 1000, RecordKind::Started,
                                        "127.0.0." + std::to_string(w + 1), "",
                                        {"d" + std::to_string(batch % 7) + ".dst", 100, 2, ""},
                                        r});
                    if (!db.append(rows, {}))
                        ::_exit(4);
                    // Told only after the commit returned.
                    if (::write(pipeFds[1], &batch, sizeof batch) != sizeof batch)
                        ::_exit(5);
                }
                ::_exit(0);
            }
            ::close(pipeFds[1]);
            children.push_back({child, pipeFds[0]});
            ids.push_back(id);
        }
        ::usleep(std::uniform_int_distribution<useconds_t>(2000, 120000)(random));
        for (std::size_t c = 0; c < children.size(); ++c) {
            ::kill(children[c].first, SIGKILL);
            int status = 0;
            ::waitpid(children[c].first, &status, 0);
            EXPECT_TRUE(WIFSIGNALED(status)) << "writer ended by itself: " << status;
            int batch = 0;
            while (::read(children[c].second, &batch, sizeof batch) == sizeof batch)
                committed.insert({ids[c], batch});
            ::close(children[c].second);
        }
    }
    RecordsDatabase db;
    ASSERT_EQ(db.open(path, RecordsDatabase::Mode::ReadWrite, true), RecordsFault::None);
    EXPECT_EQ(db.integrityCheck(), "ok");
    const auto rows = db.events({});
    ASSERT_TRUE(rows);
    std::map<std::pair<int, int>, int> found;
    for (const EventRow& row : *rows)
        ++found[{int(row.at / 1000 / 1000000), int(row.at / 1000 % 1000000)}];
    EXPECT_GT(committed.size(), std::size_t{kRounds});
    for (const auto& key : committed)
        EXPECT_EQ(found[key], 20) << key.first << "/" << key.second;
    // A batch is whole or absent, never part-written.
    for (const auto& [key, count] : found)
        EXPECT_EQ(count, 20) << key.first << "/" << key.second;
}
