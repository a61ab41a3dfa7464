#include "TreeDifferences.h"

std::string TreeDifferences(const std::map<std::string, std::string>& actual,
                            const std::map<std::string, std::string>& expected)
{
    std::string names;
    for (const auto& [name, content] : expected) {
        auto it = actual.find(name);
        if (it == actual.end())
            names += " missing:" + name;
        else if (it->second != content)
            names += " differs:" + name;
    }
    for (const auto& entry : actual)
        if (!expected.count(entry.first))
            names += " extra:" + entry.first;
    return names;
}
