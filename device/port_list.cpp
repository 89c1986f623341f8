#include "port_list.h"

#include <algorithm>
#include <cctype>
#include <strings.h>

static bool SameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

void AddPortName(std::vector<std::string>& ports, const std::string& name)
{
    if (name.empty() || name.size() > MaxPortNameLength)
        return;
    for (const std::string& listed : ports)
        if (SameName(listed, name))
            return;
    ports.push_back(name);
}

static bool IsDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Compares runs of digits by value and everything else by upper-case letter.
bool PortNameBefore(const std::string& a, const std::string& b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            while (i < a.size() && a[i] == '0')
                i++;
            while (j < b.size() && b[j] == '0')
                j++;
            size_t endA = i, endB = j;
            while (endA < a.size() && IsDigit(a[endA]))
                endA++;
            while (endB < b.size() && IsDigit(b[endB]))
                endB++;
            if (endA - i != endB - j)
                return endA - i < endB - j;
            int order = a.compare(i, endA - i, b, j, endB - j);
            if (order != 0)
                return order < 0;
            i = endA;
            j = endB;
            continue;
        }
        int ca = std::toupper(static_cast<unsigned char>(a[i]));
        int cb = std::toupper(static_cast<unsigned char>(b[j]));
        if (ca != cb)
            return ca < cb;
        i++;
        j++;
    }
    return a.size() - i < b.size() - j;
}

void SortPortNames(std::vector<std::string>& ports)
{
    std::stable_sort(ports.begin(), ports.end(), PortNameBefore);
}
