#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Everything talks to the test's own loopback server, never through a proxy.
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        qunsetenv(name);
    // The downloader runs nested event loops on this thread.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
