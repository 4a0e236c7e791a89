#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "tests/support/MachineTableText.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TempFolder.h"

namespace {

// Every way serve (and watch's --mqtt) can be started wrong ends at once with its exit code and
// a reason; a right start serves and ends by itself.
TEST(ServeCli, RefusesBadStartsAndServesAGoodOne)
{
    unsetenv("HOOPWATCH_WEB_TOKEN");
    unsetenv("HOOPWATCH_MQTT_USERNAME");
    TempFolder folder;
    const std::string dir = folder.path().string();
    const std::string config = dir + "/ZUZiruro.ini";
    const std::string empty = dir + "/empty.ini";
    std::ofstream(config) << machineTableText({{"127.0.0.63", 1}});
    std::ofstream(empty) << "[Z62Language]\nLanguage=2\n";
    std::ofstream(dir + "/good") << "0123456789abcdef-serve\n";
    std::ofstream(dir + "/short") << "abc\n";
    const std::string port = std::to_string(40000 + getpid() % 20000);

    struct Case
    {
        std::vector<std::string> args;
        int exitCode;
        const char* said; // on stderr, or on stdout for exit code 0
    };
    const Case cases[] = {
        {{"serve", "--token", "0123456789abcdef-serve"}, 2, "command line"},
        {{"serve", "--listen", "127.0.0.2:0"}, 2, "needs one"},
        {{"serve", "--listen", "10.1.2.3:0", "--token-file", dir + "/good"}, 2, "127.0.0.0/8"},
        {{"serve", "--listen", "127.0.0.1"}, 2, "ADDR:PORT"},
        {{"serve", "--listen", "127.0.0.2:0", "--token-file", dir + "/short"}, 2, "16 to 256"},
        {{"serve", "--token-file", dir + "/missing"}, 2, "cannot read"},
        {{"serve", "--mqtt", "mqtt://shop:pw@127.0.0.1"}, 2, "credentials"},
        {{"watch", "--count", "1", "--mqtt", "http://127.0.0.1"}, 2, "mqtt://"},
        {{"--config", empty, "serve", "--listen", "127.0.0.1:0"}, 3, "no machine"},
        {{"serve", "--listen", "127.0.0.2:0", "--token-file", dir + "/good", "--duration", "1"},
         0, "serving http://127.0.0.2:"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv{binPath("hoopwatch-cli"), "--machine-port", "9",
                                      "--listen-port", port};
        if (c.args.front() != "--config")
            argv.insert(argv.end(), {"--config", config});
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const ProcessResult result = runProcess(argv, dir);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.args.back() << "\n" << result.err;
        EXPECT_NE((c.exitCode == 0 ? result.out : result.err).find(c.said), std::string::npos)
            << c.args.back() << "\n" << result.err;
    }
}

} // namespace
