#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

// Collects what the code under test writes to standard output.
class StdoutCapture
{
public:
    StdoutCapture()
    {
        std::fflush(stdout);
        testing::internal::CaptureStdout();
    }
    ~StdoutCapture()
    {
        if (!m_done)
            take();
    }
    std::string take()
    {
        std::fflush(stdout);
        m_done = true;
        return testing::internal::GetCapturedStdout();
    }

private:
    bool m_done = false;
};
