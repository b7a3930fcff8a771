#include "sanitizer.h"

#include "url_policy.h"

#include <QStringDecoder>

#include <libxml/HTMLparser.h>

#include <algorithm>
#include <string_view>
#include <vector>

namespace banner
{
namespace
{

    enum class Kind { Transparent, Hidden, Block, Cell, Bold, Italic, Underline, Link, Picture, Centre };

    struct Tag {
        std::string_view name;
        Kind kind;
    };

    // libxml2 hands tag names over in lower case. Anything not named here keeps
    // its content and lends it nothing.
    constexpr Tag kTags[] = {
        { "a", Kind::Link },
        { "address", Kind::Block },
        { "applet", Kind::Hidden },
        { "article", Kind::Block },
        { "aside", Kind::Block },
        { "audio", Kind::Hidden },
        { "b", Kind::Bold },
        { "blockquote", Kind::Block },
        { "br", Kind::Block },
        { "button", Kind::Hidden },
        { "canvas", Kind::Hidden },
        { "caption", Kind::Block },
        { "center", Kind::Centre },
        { "dd", Kind::Block },
        { "div", Kind::Block },
        { "dl", Kind::Block },
        { "dt", Kind::Block },
        { "em", Kind::Italic },
        { "embed", Kind::Hidden },
        { "fieldset", Kind::Block },
        { "figure", Kind::Block },
        { "footer", Kind::Block },
        { "form", Kind::Block },
        { "frame", Kind::Hidden },
        { "frameset", Kind::Hidden },
        { "h1", Kind::Bold },
        { "h2", Kind::Bold },
        { "h3", Kind::Bold },
        { "h4", Kind::Bold },
        { "h5", Kind::Bold },
        { "h6", Kind::Bold },
        { "head", Kind::Hidden },
        { "header", Kind::Block },
        { "hr", Kind::Block },
        { "i", Kind::Italic },
        { "iframe", Kind::Hidden },
        { "img", Kind::Picture },
        { "input", Kind::Hidden },
        { "ins", Kind::Underline },
        { "li", Kind::Block },
        { "main", Kind::Block },
        { "map", Kind::Hidden },
        { "math", Kind::Hidden },
        { "nav", Kind::Block },
        { "noscript", Kind::Hidden },
        { "object", Kind::Hidden },
        { "ol", Kind::Block },
        { "p", Kind::Block },
        { "pre", Kind::Block },
        { "script", Kind::Hidden },
        { "section", Kind::Block },
        { "select", Kind::Hidden },
        { "strong", Kind::Bold },
        { "style", Kind::Hidden },
        { "svg", Kind::Hidden },
        { "table", Kind::Block },
        { "td", Kind::Cell },
        { "template", Kind::Hidden },
        { "textarea", Kind::Hidden },
        { "th", Kind::Cell },
        { "title", Kind::Hidden },
        { "tr", Kind::Block },
        { "u", Kind::Underline },
        { "ul", Kind::Block },
        { "video", Kind::Hidden },
    };

    Kind kindOf(const xmlChar* name)
    {
        const std::string_view wanted(reinterpret_cast<const char*>(name));
        const auto found = std::lower_bound(std::begin(kTags), std::end(kTags), wanted,
            [](const Tag& tag, std::string_view n) { return tag.name < n; });
        return found != std::end(kTags) && found->name == wanted ? found->kind : Kind::Transparent;
    }

    QString attribute(const xmlChar** attributes, std::string_view name)
    {
        for (; attributes && attributes[0]; attributes += 2)
            if (std::string_view(reinterpret_cast<const char*>(attributes[0])) == name && attributes[1])
                return QString::fromUtf8(reinterpret_cast<const char*>(attributes[1]));
        return {};
    }

    // A width or height attribute in plain pixels; percentages and the like are
    // left to the picture's own size.
    int pixels(const QString& value)
    {
        bool ok = false;
        const int n = value.trimmed().toInt(&ok);
        return ok && n > 0 ? std::min(n, kMaxPictureSide) : 0;
    }

    QByteArray headerParameter(const QByteArray& header, const QByteArray& name)
    {
        for (const QByteArray& part : header.split(';')) {
            const QByteArray trimmed = part.trimmed();
            const qsizetype eq = trimmed.indexOf('=');
            if (eq > 0 && trimmed.left(eq).trimmed().toLower() == name) {
                QByteArray value = trimmed.mid(eq + 1).trimmed();
                if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
                    value = value.mid(1, value.size() - 2);
                return value;
            }
        }
        return {};
    }

    QString decode(const QByteArray& body, const QByteArray& contentType)
    {
        QStringDecoder decoder;
        if (const QByteArray charset = headerParameter(contentType, "charset"); !charset.isEmpty())
            decoder = QStringDecoder(charset.constData());
        if (!decoder.isValid())
            decoder = QStringDecoder::decoderForHtml(body);
        if (!decoder.isValid())
            decoder = QStringDecoder(QStringDecoder::Utf8);
        // Malformed bytes come out as U+FFFD.
        return decoder.decode(body);
    }

    // Collects the page from libxml2's SAX events, within the bounds.
    class Collector
    {
    public:
        Collector(const QUrl& base, htmlParserCtxtPtr parser)
            : m_base(base)
            , m_parser(parser)
        {
            m_styles.push_back({});
        }

        void start(const xmlChar* name, const xmlChar** attributes)
        {
            if (++m_depth > kMaxOpenElements)
                return stop();
            if (m_depth > kMaxDepth)
                return;
            Style style = m_styles.back();
            if (style.hidden) {
                m_styles.push_back(style);
                return;
            }
            const QString align = attribute(attributes, "align").toLower();
            if (align == QLatin1String("center") || align == QLatin1String("middle"))
                style.alignment = Qt::AlignHCenter;
            else if (align == QLatin1String("right"))
                style.alignment = Qt::AlignRight;
            switch (kindOf(name)) {
            case Kind::Transparent:
                break;
            case Kind::Hidden:
                style.hidden = true;
                break;
            case Kind::Centre:
                style.alignment = Qt::AlignHCenter;
                [[fallthrough]];
            case Kind::Block:
                endParagraph();
                break;
            case Kind::Cell:
                m_space = true;
                break;
            case Kind::Bold:
                style.run.bold = true;
                break;
            case Kind::Italic:
                style.run.italic = true;
                break;
            case Kind::Underline:
                style.run.underline = true;
                break;
            case Kind::Link:
                style.run.link = linkTarget(m_base, attribute(attributes, "href"));
                break;
            case Kind::Picture:
                picture(style, attributes);
                break;
            }
            m_styles.push_back(style);
        }

        void end(const xmlChar* name)
        {
            if (m_depth-- > kMaxDepth || m_styles.size() <= 1)
                return;
            m_styles.pop_back();
            const Kind kind = kindOf(name);
            if (kind == Kind::Block || kind == Kind::Centre)
                endParagraph();
            else if (kind == Kind::Cell)
                m_space = true;
        }

        void text(const xmlChar* characters, int length)
        {
            if (m_depth > kMaxDepth || m_styles.back().hidden)
                return;
            QString words;
            for (const QChar c : QString::fromUtf8(reinterpret_cast<const char*>(characters), length)) {
                if (c.isSpace()) {
                    m_space = true;
                } else if (c.category() != QChar::Other_Control && c.category() != QChar::Other_Format) {
                    if (m_space && (!words.isEmpty() || hasContent()))
                        words += QLatin1Char(' ');
                    m_space = false;
                    words += c;
                }
            }
            const qsizetype room = kMaxTextLength - m_textLength;
            if (words.size() >= room) {
                // A pair of surrogates is never split.
                words.truncate(room > 0 && words.at(room - 1).isHighSurrogate() ? room - 1 : room);
                stop();
            }
            if (words.isEmpty())
                return;
            m_textLength += words.size();
            Run* last = lastRun();
            const Run& style = m_styles.back().run;
            if (last && last->picture.isEmpty() && last->link == style.link && last->bold == style.bold
                && last->italic == style.italic && last->underline == style.underline)
                last->text += words;
            else if (Run* run = addRun(style))
                run->text = words;
        }

        Page page;

    private:
        struct Style {
            Run run; // the formatting content takes here
            Qt::Alignment alignment = Qt::AlignLeft;
            bool hidden = false;
        };

        void picture(const Style& style, const xmlChar** attributes)
        {
            const QUrl url = webReference(m_base, attribute(attributes, "src"));
            if (url.isEmpty() || m_pictures >= kMaxPictures)
                return;
            // The space before a picture stays, after the text it follows; after
            // another picture, it waits for the next text.
            if (Run* last = lastRun(); m_space && last && last->picture.isEmpty() && m_textLength < kMaxTextLength) {
                last->text += QLatin1Char(' ');
                ++m_textLength;
                m_space = false;
            }
            if (Run* run = addRun(style.run)) {
                ++m_pictures;
                if (!page.pictures.contains(url))
                    page.pictures.append(url);
                run->picture = url;
                const int width = pixels(attribute(attributes, "width"));
                const int height = pixels(attribute(attributes, "height"));
                if (width > 0 && height > 0)
                    run->size = QSize(width, height);
            }
        }

        bool hasContent() const { return m_paragraphOpen && !page.paragraphs.back().runs.isEmpty(); }
        Run* lastRun() { return hasContent() ? &page.paragraphs.back().runs.back() : nullptr; }

        Run* addRun(const Run& style)
        {
            if (m_runs >= kMaxRuns) {
                stop();
                return nullptr;
            }
            if (!m_paragraphOpen) {
                if (page.paragraphs.size() >= kMaxParagraphs) {
                    stop();
                    return nullptr;
                }
                page.paragraphs.append(Paragraph { m_styles.back().alignment, {} });
                m_paragraphOpen = true;
            }
            ++m_runs;
            Run& run = page.paragraphs.back().runs.emplace_back(style);
            run.text.clear();
            return &run;
        }

        void endParagraph()
        {
            m_paragraphOpen = false;
            m_space = false;
        }

        // Once a bound is reached, the rest of the page is not even parsed.
        void stop() { xmlStopParser(m_parser); }

        QUrl m_base;
        htmlParserCtxtPtr m_parser;
        std::vector<Style> m_styles; // one per open element up to kMaxDepth, over the page's own
        int m_depth = 0; // every open element, however deep: libxml2's own stack
        int m_runs = 0;
        int m_pictures = 0;
        qsizetype m_textLength = 0;
        bool m_paragraphOpen = false;
        bool m_space = false; // white space seen and not yet written
    };

    Collector* collector(void* context) { return static_cast<Collector*>(context); }

    // Where the page's tag after the kMaxTags-th would begin: every tag,
    // comment and declaration opens with a '<', and text holds none unescaped.
    qsizetype tagsEnd(const QByteArray& page)
    {
        qsizetype at = -1;
        for (int tags = 0; tags <= kMaxTags; ++tags)
            if ((at = page.indexOf('<', at + 1)) < 0)
                return page.size();
        return at;
    }

} // namespace

std::optional<Page> sanitize(const QByteArray& body, const QByteArray& contentType, const QUrl& base)
{
    const QByteArray mime = contentType.split(';').first().trimmed().toLower();
    const bool plain = mime == "text/plain";
    if (!plain && !mime.isEmpty() && mime != "text/html" && mime != "application/xhtml+xml")
        return std::nullopt;
    // A NUL is no character of any page. Gone before parsing, it cannot end
    // a text early or become a space, whichever way the parser reads it.
    QString content = decode(body, contentType).remove(QChar(0));
    // Plain text is shown as the words it is: escaped, one paragraph a line.
    if (plain)
        content = QLatin1String("<p>") + content.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<p>"));
    QByteArray utf8 = content.toUtf8();
    utf8.truncate(tagsEnd(utf8));

    xmlInitParser();
    htmlSAXHandler sax {};
    sax.startElement
        = [](void* c, const xmlChar* name, const xmlChar** attributes) { collector(c)->start(name, attributes); };
    sax.endElement = [](void* c, const xmlChar* name) { collector(c)->end(name); };
    sax.characters = [](void* c, const xmlChar* text, int length) { collector(c)->text(text, length); };
    sax.ignorableWhitespace = sax.characters;
    sax.cdataBlock = sax.characters;
    // Errors in the markup are the rule on the web, and no news to anyone.
    sax.initialized = XML_SAX2_MAGIC;
    // libxml2 2.12 made the error const; a generic lambda takes either spelling.
    sax.serror = [](void*, auto*) {};

    htmlParserCtxtPtr parser = htmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8);
    if (!parser)
        return std::nullopt;
    Collector collected(base, parser);
    parser->userData = &collected;
    // The text is UTF-8 already, whatever a <meta> in it claims.
    htmlCtxtUseOptions(parser, HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_IGNORE_ENC);
    htmlParseChunk(parser, utf8.constData(), int(utf8.size()), 1);
    htmlFreeParserCtxt(parser);
    return std::move(collected.page);
}

} // namespace banner
