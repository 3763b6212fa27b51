#pragma once

#include <QString>

namespace platform {

// The help file: an HTML document (UTF-8) with a contents part and one topic per
// context number, each topic an element whose id is that number.
class HelpFile {
public:
    explicit HelpFile(QString path) : m_path(std::move(path)) {}
    const QString& path() const { return m_path; }

    // The whole document, read anew on each call; empty when it cannot be read.
    QString document() const;

    // The inner HTML of the element with id == context; empty when there is none.
    QString topic(int context) const;

    // The same over a document already in memory.
    static QString TopicIn(const QString& html, int context);

private:
    QString m_path;
};

} // namespace platform
