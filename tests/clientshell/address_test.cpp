#include "addresscheck.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

struct AddressCase
{
    std::string typed;
    std::string normalised; // empty: rejected
};

void PrintTo(const AddressCase& c, std::ostream* out)
{
    *out << (c.typed.size() > 60 ? c.typed.substr(0, 60) + "... (" + std::to_string(c.typed.size())
                                       + " characters)"
                                 : c.typed);
}

std::string Repeat(const std::string& piece, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += piece;
    return text;
}

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
    {"a_b.example.com", "http://a_b.example.com"},
    {"a-.b-c.com", "http://a-.b-c.com"},
    {"-.com", "http://-.com"},
    // long texts: each label is matched once, so the time grows with the length
    {Repeat("a", 3000) + ".com", "http://" + Repeat("a", 3000) + ".com"},
    {Repeat("cam-1_x.", 2000) + "org:80/x", "http://" + Repeat("cam-1_x.", 2000) + "org:80/x"},
    {"10.0.0.2/" + Repeat("p", 40000), "http://10.0.0.2/" + Repeat("p", 40000)},
    {Repeat("a", 50000) + "!", ""},
    {Repeat("a-", 25000) + "_.com", ""},
    {Repeat("a", 2000) + "!", ""},
    {Repeat("a", 4000) + "!", ""},
    {Repeat("a", 8000) + "!", ""},
    {"nvr." + Repeat("b", 3000) + "!", ""},
    {"https://" + Repeat("c", 5000) + "?", ""},
    {Repeat("a-", 1500) + "_", ""},
    {Repeat("a-", 3000) + "_", ""},
    {Repeat("a9", 2500) + " x.com", ""},
    {Repeat("Z", 3000) + "#", ""},
    {"//" + Repeat("q-", 2000) + "!", ""},
    {Repeat("k", 5000) + "%", ""},
    {Repeat("9", 6000) + "a", ""},
    {Repeat("a_", 25000) + ".com", ""},
    {Repeat("a.", 25000) + "1", ""},
    {Repeat("/", 50000) + "!", ""},
    {Repeat("[", 50000) + "]", ""},
    {Repeat("1:", 25000), ""},
    // rejected
    {"_a.com", ""},
    {"a_.com", ""},
    {"a._.com", ""},
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
    QString text = QString::fromStdString(c.typed);
    const bool accepted = AddressCheck::ValidateAddress(text);
    if (c.normalised.empty()) {
        EXPECT_FALSE(accepted) << "accepted as " << text.left(80).toStdString();
        EXPECT_TRUE(text.toStdString() == c.typed) << "a rejected text is left as typed";
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
