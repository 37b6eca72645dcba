#include "addresscheck.h"

#include <gtest/gtest.h>

namespace {

struct AddressCase
{
    const char* typed;
    const char* normalised; // empty: rejected
};

// What a user types -> the URL that is opened.
const AddressCase kCases[] = {
    // IPv4
    {"10.0.0.2", "http://10.0.0.2"},
    {"HTTPS://10.0.0.2:443/index.html", "https://10.0.0.2:443/index.html"},
    {"10.0.0.2:", "http://10.0.0.2"},
    {"10.0.0.2:0", "http://10.0.0.2:0"},
    {"10.0.0.2:65535", "http://10.0.0.2:65535"},
    {"10.0.0.2/", "http://10.0.0.2"},
    {"10.0.0.2?x=1", "http://10.0.0.2/?x=1"},
    {"10.0.0.1#frag", "http://10.0.0.1/#frag"},
    {"\\10.0.0.1\\a\\b", "http://10.0.0.1/a/b"},
    {"///1.2.3.4//x", "http://1.2.3.4//x"},
    {"http://255.255.255.255/a%20b", "http://255.255.255.255/a%20b"},
    {"10.0.0.2/%1%2", "http://10.0.0.2/%1%2"},
    // IPv6
    {"fe80::1", "http://[fe80::1]"},
    {"//fe80::1", "http://[fe80::1]"},
    {"fe80::1/path", "http://[fe80::1]/path"},
    {"[fe80::1]:8080/x", "http://[fe80::1]:8080/x"},
    {"https://[::1]:65535?x", "https://[::1]:65535/?x"},
    {"http://[FE80::A]", "http://[FE80::A]"},
    {"::", "http://[::]"},
    {"::ffff:10.0.0.1", "http://[::ffff:10.0.0.1]"},
    {"1:2:3:4::5:6:7:8", "http://[1:2:3:4::5:6:7:8]"},
    {"2001:db8:0:0:0:0:0:1", "http://[2001:db8:0:0:0:0:0:1]"},
    {"fe80::", "http://[fe80::]"},
    // host names
    {"localhost:8080", "http://localhost:8080"},
    {"localhost:80", "http://localhost:80"},
    {"Camera-1.Example.COM/Index", "http://Camera-1.Example.COM/Index"},
    {"https://nvr.example.org:8443/", "https://nvr.example.org:8443"},
    // rejected
    {"10.0.0.2:65536", ""},
    {"10.0.0.2:080", ""},
    {"256.1.1.1", ""},
    {"abc", ""},
    {"camera.x", ""},
    {"ftp://x.com", ""},
    {"ftp://10.0.0.1", ""},
    {" 10.0.0.1", ""},
    {"http://fe80::1", ""},
    {"1:2:3:4:5:6:7", ""},
    {"1:2:3:4:5:6:7:8:9", ""},
    {"1::2::3", ""},
    {"12345::1", ""},
    {"[fe80::1", ""},
    {"[1::2::3]", ""},
    {"", ""},
};

class AddressTable : public ::testing::TestWithParam<AddressCase>
{
};

TEST_P(AddressTable, NormalisesOrRejects)
{
    const AddressCase& c = GetParam();
    QString text = QString::fromUtf8(c.typed);
    const bool accepted = AddressCheck::ValidateAddress(text);
    const QString expected = QString::fromUtf8(c.normalised);
    if (expected.isEmpty()) {
        EXPECT_FALSE(accepted) << "accepted as " << text.toStdString();
        EXPECT_EQ(text.toStdString(), c.typed) << "a rejected text is left as typed";
    } else {
        EXPECT_TRUE(accepted);
        EXPECT_EQ(text.toStdString(), c.normalised);
    }
}

INSTANTIATE_TEST_SUITE_P(Addresses, AddressTable, ::testing::ValuesIn(kCases));

TEST(AddressChecks, FirstAcceptingCheckWins)
{
    // A dotted quad is also a syntactically valid host label sequence only
    // when its last label has letters, so IPv4 takes it; a host name with a
    // port is not taken for IPv6.
    EXPECT_EQ(AddressCheck::CheckIPv4Address("10.0.0.2").toStdString(), "http://10.0.0.2");
    EXPECT_TRUE(AddressCheck::CheckIPv6Address("localhost:80").isEmpty());
    EXPECT_TRUE(AddressCheck::CheckHostAddress("10.0.0.2").isEmpty());
    EXPECT_TRUE(AddressCheck::CheckIPv4Address("fe80::1").isEmpty());
}

} // namespace
