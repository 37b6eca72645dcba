#pragma once

#include <QString>

// Checks and normalises what a user types to reach a device: IPv4, IPv6
// (bare or bracketed, full or with "::") or a host name, each with optional
// scheme, port and path. Pure functions; no state.
class AddressCheck
{
public:
    // Replaces text by the normalised URL and returns true when one check
    // accepts it; leaves text untouched and returns false otherwise.
    static bool ValidateAddress(QString& text);

    static QString CheckIPv4Address(const QString& text);
    static QString CheckIPv6Address(const QString& text);
    static QString CheckHostAddress(const QString& text);

    // Matches text against the address template filled with addressPattern
    // and rebuilds the URL; empty when it does not match.
    static QString MatchAddress(const QString& text, const QString& addressPattern, bool bracketed);

    static QString IPv4Pattern();
    static QString IPv6Pattern();
};
