#include "versioncompare.h"

#include <QStringList>
#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

QStringList SplitVersion(const QString& version, int needed)
{
    QStringList parts = version.split(QLatin1Char('.'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    if (parts.size() < needed)
        parts = QStringLiteral("0.0.0.0").split(QLatin1Char('.'));
    return parts.mid(0, needed);
}

int64_t PartValue(const QString& part)
{
    bool ok = false;
    const qlonglong value = part.toLongLong(&ok, 10);
    return ok ? value : 0;
}

// Saturating arithmetic keeps absurdly long versions ordered instead of wrapping.
int64_t SaturatingMulAdd(int64_t value, int64_t factor, int64_t addend)
{
    int64_t product = 0;
    if (__builtin_mul_overflow(value, factor, &product))
        product = (value < 0) ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
    int64_t sum = 0;
    if (__builtin_add_overflow(product, addend, &sum))
        sum = (addend < 0) ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
    return sum;
}

int64_t PowerOfTen(int exponent)
{
    int64_t result = 1;
    for (int i = 0; i < exponent; ++i)
        result = SaturatingMulAdd(result, 10, 0);
    return result;
}

// Weighted value of a and b over the first `count` parts.
void WeightedValues(const QString& a, const QString& b, int count, int64_t* valueA, int64_t* valueB)
{
    const QStringList partsA = SplitVersion(a, count);
    const QStringList partsB = SplitVersion(b, count);
    int64_t sumA = PartValue(partsA[0]);
    int64_t sumB = PartValue(partsB[0]);
    for (int i = 1; i < count; ++i) {
        const int width = std::max(partsA[i].size(), partsB[i].size());
        const int64_t weight = PowerOfTen(width);
        sumA = SaturatingMulAdd(sumA, weight, PartValue(partsA[i]));
        sumB = SaturatingMulAdd(sumB, weight, PartValue(partsB[i]));
    }
    *valueA = sumA;
    *valueB = sumB;
}

} // namespace

bool CompareMajorMinor(const QString& a, const QString& b)
{
    int64_t valueA = 0, valueB = 0;
    WeightedValues(a, b, 2, &valueA, &valueB);
    return valueA > valueB;
}

bool CompareVersion(const QString& a, const QString& b)
{
    int64_t valueA = 0, valueB = 0;
    WeightedValues(a, b, 4, &valueA, &valueB);
    return valueA >= valueB;
}
