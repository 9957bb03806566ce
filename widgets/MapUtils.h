#pragma once

#include <QMap>
#include <QString>

// The names of the keys a hotkey may use, each with the four-character
// keyboard-event code (first character in the highest byte) or, for digits
// and capital letters, the character's own code. Names are compared
// exactly: "option" is not "Option".
class MapUtils
{
public:
    static MapUtils* instance();
    static void release();
    virtual ~MapUtils() = default;

    bool contains(const QString& name) const { return m_keyMap.contains(name); }
    // 0 for a name that is not in the table.
    int code(const QString& name) const { return m_keyMap.value(name, 0); }
    int count() const { return m_keyMap.size(); }
    // A name of `code`; empty when none has it.
    QString name(int code) const { return m_keyMap.key(code); }

protected:
    MapUtils();

private:
    void setKeyMap();

    static MapUtils* s_pInstance;
    QMap<QString, int> m_keyMap;
};
