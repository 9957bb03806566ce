#include "widgets/MapUtils.h"

namespace {

constexpr int fourCC(char a, char b, char c, char d)
{
    return int((unsigned(uchar(a)) << 24) | (unsigned(uchar(b)) << 16) | (unsigned(uchar(c)) << 8) |
               unsigned(uchar(d)));
}

// "ks", the virtual key number, then a zero byte.
constexpr int keystroke(int virtualKey)
{
    return fourCC('k', 's', char(virtualKey), '\0');
}

struct NamedCode {
    const char* name;
    int code;
};

// In the order the table has always been filled; "Option" comes twice.
const NamedCode kNamedCodes[] = {
    {"F1", keystroke(122)},        {"F2", keystroke(120)},
    {"F3", keystroke(99)},         {"F4", keystroke(118)},
    {"F5", keystroke(96)},         {"F6", keystroke(97)},
    {"F7", keystroke(98)},         {"F8", keystroke(100)},
    {"F9", keystroke(101)},        {"F10", keystroke(109)},
    {"F11", keystroke(103)},       {"F12", keystroke(111)},
    {"F13", keystroke(105)},       {"F14", keystroke(107)},
    {"F15", keystroke(113)},       {"cKeystroke", fourCC('k', 'p', 'r', 's')},
    {"pKeystroke", fourCC('k', 'M', 's', 'g')}, {"Esc", keystroke(53)},
    {"Clear", keystroke(71)},      {"Kclk", fourCC('K', 'c', 'l', 'k')},
    {"Ctrl", fourCC('K', 'c', 't', 'l')},       {"Command", fourCC('K', 'c', 'm', 'd')},
    {"Del", keystroke(51)},        {"ForwardDel", keystroke(117)},
    {"DownArrow", keystroke(125)}, {"UpArrow", keystroke(126)},
    {"LeftArrow", keystroke(123)}, {"RightArrow", keystroke(124)},
    {"End", keystroke(119)},       {"Shift", fourCC('K', 's', 'f', 't')},
    {"Enter", keystroke(76)},      {"Tab", keystroke(48)},
    {"Help", keystroke(114)},      {"Home", keystroke(115)},
    {"eKeyKind", fourCC('e', 'k', 's', 't')},   {"pKeyKind", fourCC('k', 'k', 'n', 'd')},
    {"eModifiers", fourCC('e', 'M', 'd', 's')}, {"pModifiers", fourCC('k', 'M', 'o', 'd')},
    {"Option", fourCC('K', 'o', 'p', 't')},     {"PageDown", keystroke(121)},
    {"PageUp", keystroke(116)},    {"Return", keystroke(36)},
    {"Option", fourCC('K', 'o', 'p', 't')},
};

} // namespace

MapUtils* MapUtils::s_pInstance = nullptr;

MapUtils* MapUtils::instance()
{
    if (!s_pInstance)
        s_pInstance = new MapUtils;
    return s_pInstance;
}

void MapUtils::release()
{
    delete s_pInstance;
    s_pInstance = nullptr;
}

MapUtils::MapUtils()
{
    setKeyMap();
}

void MapUtils::setKeyMap()
{
    for (const NamedCode& entry : kNamedCodes)
        m_keyMap.insert(QString::fromLatin1(entry.name), entry.code);
    for (char c = '0'; c <= '9'; ++c)
        m_keyMap.insert(QString(QLatin1Char(c)), int(c));
    for (char c = 'A'; c <= 'Z'; ++c)
        m_keyMap.insert(QString(QLatin1Char(c)), int(c));
}
