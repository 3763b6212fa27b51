#include "platform/HelpFile.h"

#include <QFile>
#include <QRegularExpression>

namespace platform {

QString HelpFile::document() const {
    QFile f(m_path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

QString HelpFile::topic(int context) const {
    return TopicIn(document(), context);
}

QString HelpFile::TopicIn(const QString& html, int context) {
    const QRegularExpression open(
        QStringLiteral(R"(<([A-Za-z][A-Za-z0-9]*)\b[^>]*?\bid\s*=\s*(["']?)%1\2(?=[\s>/])[^>]*>)")
            .arg(context));
    const QRegularExpressionMatch m = open.match(html);
    if (!m.hasMatch())
        return {};
    const QString tag = m.captured(1);
    const QRegularExpression either(QStringLiteral("<(/?)%1\\b[^>]*>").arg(tag),
                                    QRegularExpression::CaseInsensitiveOption);
    int depth = 1;
    auto it = either.globalMatch(html, m.capturedEnd());
    while (it.hasNext()) {
        const auto t = it.next();
        depth += t.captured(1).isEmpty() ? 1 : -1;
        if (depth == 0)
            return html.mid(m.capturedEnd(), t.capturedStart() - m.capturedEnd()).trimmed();
    }
    return html.mid(m.capturedEnd()).trimmed();
}

} // namespace platform
