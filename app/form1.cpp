#include "form1.h"

#include "accessibility.h"
#include "banner_pane.h"
#include "base/constants.h"
#include "fatal.h"

#include "../colour/colour_dialog.h"
#include "../colour/swatch.h"
#include "../preview/font_list.h"
#include "../view/rich_text_box.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>

#include <utility>

namespace glimra
{

namespace
{

    QLabel* makeLabel(const QString& caption, QWidget* parent)
    {
        auto* label = new QLabel(caption, parent);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        return label;
    }

    int checkValue(const QCheckBox* box) { return box->isChecked() ? 1 : 0; }

    // Every size of the icon, so that the title bar, the task bar and the
    // window switcher each take theirs instead of scaling one.
    QIcon makeWindowIcon()
    {
        QIcon icon(QStringLiteral(":/glimra/glimra.png"));
        for (int size : kIconSizes)
            icon.addFile(QStringLiteral(":/glimra/icons/%1.png").arg(size), QSize(size, size));
        return icon;
    }

    // The DPI the window's twips are laid out at: the screen's, grown with
    // the user-interface font the window was given.
    double twipsDpi(double screenDpi, const QFont& font)
    {
        if (screenDpi <= 0)
            screenDpi = QGuiApplication::primaryScreen()->logicalDotsPerInchX();
        return layoutDpi(screenDpi, QFontInfo(font).pixelSize(), QFontMetrics(font).height());
    }

} // namespace

Form1::Form1(Form1Platform platform, QWidget* parent)
    : QWidget(parent)
    , m_fonts(std::move(platform.fonts))
    , m_colourDialog(std::move(platform.colourDialog))
    , m_dpi(twipsDpi(platform.dpi, font()))
{
    setObjectName(QStringLiteral("Form1"));
    installAccessibility();
    setWindowIcon(makeWindowIcon());
    if (!m_fonts) {
        auto system = std::make_unique<preview::SystemFontList>();
        connect(qGuiApp, &QGuiApplication::fontDatabaseChanged, this, [list = system.get()] { list->refresh(); });
        m_fonts = std::move(system);
    }
    if (!m_colourDialog)
        m_colourDialog = std::make_unique<colour::QtColourDialog>(this);

    // A screen reader lists the controls in the order they are made.
    Text1 = new QPlainTextEdit(caption::Text1, this);
    RichTextBox1 = new view::RichTextBox(this);
    Command1 = new QPushButton(caption::Command1, this);
    Label1 = makeLabel(caption::Label1, this);
    Combo1 = new QComboBox(this);
    Label2 = makeLabel(caption::Label2, this);
    Command2 = new colour::Swatch(kBlack, this);
    Command3 = new colour::Swatch(kWhite, this);
    Label3 = makeLabel(caption::Label3, this);
    Label4 = makeLabel(caption::Label4, this);
    Check1 = new QCheckBox(caption::Check1, this);
    Check2 = new QCheckBox(caption::Check2, this);
    WebBrowser1 = platform.bannerPane ? platform.bannerPane(this) : makeNetworkBannerPane(this);

    struct Placed {
        QWidget* widget;
        QRect twips;
        const char* name;
    };
    const Placed controls[] = {
        { Label1, layout::Label1, "Label1" },
        { Text1, layout::Text1, "Text1" },
        { Label2, layout::Label2, "Label2" },
        { Combo1, layout::Combo1, "Combo1" },
        { Label3, layout::Label3, "Label3" },
        { Label4, layout::Label4, "Label4" },
        { Command2, layout::Command2, "Command2" },
        { Command3, layout::Command3, "Command3" },
        { Check1, layout::Check1, "Check1" },
        { Check2, layout::Check2, "Check2" },
        { Command1, layout::Command1, "Command1" },
        { WebBrowser1, layout::WebBrowser1, "WebBrowser1" },
        { RichTextBox1, layout::RichTextBox1, "RichTextBox1" },
    };
    for (const Placed& control : controls) {
        control.widget->setGeometry(twipsToPixels(control.twips, m_dpi));
        control.widget->setObjectName(QLatin1String(control.name));
    }

    nameForScreenReaders();

    // The sample box: no scroll bars, Tab moves on, Enter starts a new line.
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setTabChangesFocus(true);
    Text1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // Enter presses the focused button, as Space does. Outside a dialog an
    // auto-default button never becomes the window's default button, so
    // Enter in the sample box still starts a new line.
    for (QPushButton* button : { Command1, static_cast<QPushButton*>(Command2), static_cast<QPushButton*>(Command3) })
        button->setAutoDefault(true);
    RichTextBox1->setDpi(m_dpi);
    RichTextBox1->setTabChangesFocus(true);

    // Focus moves down the column from the sample box, by way of the preview
    // view and the Show button.
    QWidget* const tabOrder[]
        = { Text1, RichTextBox1, Command1, Combo1, Command2, Command3, Check1, Check2, WebBrowser1 };
    for (size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    Text1->setFocus();

    connect(Command1, &QPushButton::clicked, this, &Form1::onCommand1Clicked);
    connect(Command2, &QPushButton::clicked, this, &Form1::onCommand2Clicked);
    connect(Command3, &QPushButton::clicked, this, &Form1::onCommand3Clicked);
    // Ctrl+Q and Ctrl+W close the window as every desktop application's do,
    // the way its close button does: a build in progress stops.
    for (const QKeyCombination keys : kCloseKeys)
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &QWidget::close);

    resize(twipsToPixels(kClientWidth, m_dpi), twipsToPixels(kClientHeight, m_dpi));
    orDie(this, [this] { load(); });
}

Form1::~Form1() = default;

void Form1::nameForScreenReaders()
{
    // Each caption labels the control under it, so that a screen reader
    // announces the control by it and can follow the relation back.
    const std::pair<QLabel*, QWidget*> captioned[]
        = { { Label1, Text1 }, { Label2, Combo1 }, { Label3, Command2 }, { Label4, Command3 } };
    for (const auto& [label, control] : captioned) {
        label->setBuddy(control);
        control->setAccessibleName(label->text());
    }
    // The size list's popup is a list of its own.
    Combo1->view()->setAccessibleName(caption::Label2);
    // The check boxes and the Show button are named by their captions.
    RichTextBox1->setAccessibleName(accessibleName::RichTextBox1);
    WebBrowser1->setAccessibleName(accessibleName::WebBrowser1);
    if (QWidget* inner = WebBrowser1->focusProxy())
        inner->setAccessibleName(accessibleName::WebBrowser1);
}

void Form1::load()
{
    setWindowTitle(kAppTitle);
    for (int size = kFirstSize; size <= kLastSize; size += kSizeStep)
        Combo1->addItem(QString::number(size));
    Combo1->setCurrentIndex(kInitialSizeIndex);
    WebBrowser1->navigate(kBannerUrl);
}

void Form1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitViewToWindow();
}

void Form1::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    // A window manager that frames the window after it is mapped (and
    // Wayland's decorations) change the outer size without a resize: the
    // window only moves inside its new frame.
    if (frameGeometry().size() != m_fittedOuterSize)
        fitViewToWindow();
}

void Form1::fitViewToWindow()
{
    // The whole window, frame included, less the margins; a size the view
    // refuses leaves it as it was in that dimension.
    const QSize outer = frameGeometry().size();
    m_fittedOuterSize = outer;
    skipOnFailure(
        [this, outer] { RichTextBox1->setWidthTwips(float(pixelsToTwips(outer.width(), m_dpi)) - kViewWidthMargin); });
    skipOnFailure([this, outer] {
        RichTextBox1->setHeightTwips(float(pixelsToTwips(outer.height(), m_dpi)) - kViewHeightMargin);
    });
}

void Form1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_closing = false;
}

void Form1::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (!std::exchange(m_fontListPrepared, true))
        QTimer::singleShot(0, this, &Form1::prepareFontList);
}

void Form1::prepareFontList()
{
    skipOnFailure([this] { m_fonts->count(); });
}

void Form1::closeEvent(QCloseEvent* event)
{
    // A build waiting in processPendingEvents() sees this and stops.
    m_closing = true;
    QWidget::closeEvent(event);
}

void Form1::onCommand1Clicked()
{
    ++m_buildDepth;
    preview::build(*this, *RichTextBox1, *m_fonts);
    --m_buildDepth;
}

void Form1::onCommand2Clicked()
{
    orDie(this, [this] { colour::chooseColour(*m_colourDialog, *Command2); });
}

void Form1::onCommand3Clicked()
{
    orDie(this, [this] { colour::chooseColour(*m_colourDialog, *Command3); });
}

QString Form1::sample() const { return Text1->toPlainText(); }

QString Form1::chosenSize() const
{
    const int index = Combo1->currentIndex();
    if (index < 0)
        throw StepFailed(ErrorNumber::InvalidCall, QStringLiteral("no size selected"));
    return Combo1->itemText(index);
}

Colour Form1::textColour() const { return Command2->backColour(); }

Colour Form1::backColour() const { return Command3->backColour(); }

int Form1::boldValue() const { return checkValue(Check1); }

int Form1::italicValue() const { return checkValue(Check2); }

void Form1::setTitle(const QString& title) { setWindowTitle(title); }

bool Form1::processPendingEvents()
{
    QCoreApplication::processEvents();
    return !m_closing;
}

} // namespace glimra
