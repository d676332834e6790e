#include "frmshelf.h"

#include "bookname.h"
#include "globalstate.h"
#include "marksfile.h"
#include "paging.h"
#include "prompter.h"
#include "readahead.h"
#include "widgets.h"

#include <QCursor>
#include <QDrag>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStorageInfo>

namespace {

const QString ClosedListingText = QStringLiteral(
    "Drag Book Here ------------------------> to Send to your eBook Reader Content Folder. "
    "Click for list.");
const QString OpenListingText = QStringLiteral(
    "Drag Book Here ------------------------> to Send to your eBook Reader Content Folder. "
    "Click to close.");

QFont sansFont(qreal points, bool bold)
{
    QFont f;
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

template<typename W> W *place(W *w, const char *name, int left, int top, int width, int height)
{
    w->setObjectName(QLatin1String(name));
    w->setGeometry(tw(left), tw(top), tw(width), tw(height));
    return w;
}

QScrollBar *pagingBar(QWidget *parent, const char *name, int left, int top, int height)
{
    auto *bar = place(new QScrollBar(Qt::Vertical, parent), name, left, top, 195, height);
    bar->setRange(1, 1);
    bar->setSingleStep(1);
    bar->setPageStep(1);
    bar->setTracking(false); // the grid follows when the thumb is released, not while dragged
    bar->setMinimumWidth(tw(195));
    bar->hide();
    return bar;
}

} // namespace

frmShelf::frmShelf(GlobalState &state, QWidget *parent)
    : QWidget(parent)
    , g(state)
{
    setObjectName(QStringLiteral("frmShelf"));
    buildLayout();
}

void frmShelf::buildLayout()
{
    setFixedSize(tw(15240), tw(10560));
    setFont(sansFont(8.25, false));

    Label5 = place(new QLabel(QStringLiteral("Shelves"), this), "Label5", 270, 0, 1455, 465);
    Label5->setFont(sansFont(18, true));
    fitWidth(Label5);
    lblWhichShelf = place(new QLabel(this), "lblWhichShelf", 7110, 0, 7845, 480);
    lblWhichShelf->setFont(sansFont(18, true));
    lblWhichShelf->setTextFormat(Qt::PlainText);

    Picture1 = place(new PictureBox(this), "Picture1", 180, 540, 6450, 8385);
    VScroll1 = pagingBar(this, "VScroll1", 6570, 540, 8385);
    Picture2 = place(new PictureBox(this), "Picture2", 7020, 540, 8025, 8385);
    VScroll2 = pagingBar(this, "VScroll2", 14850, 540, 8385);
    connect(VScroll1, &QScrollBar::valueChanged, this, [this] { FillShelves(); });
    connect(VScroll2, &QScrollBar::valueChanged, this, [this] { FillBooks(); });
    connect(Picture2, &PictureBox::moved, this, [this] { clearDetails(); });
    // The wheel and Page Up / Page Down page the grid under the pointer one row at a time.
    auto step = [](QScrollBar *bar, int rows) {
        if (bar->isVisible())
            bar->setValue(bar->value() + rows);
    };
    connect(Picture1, &PictureBox::wheelStep, this,
            [this, step](int rows) { step(VScroll1, rows); });
    connect(Picture2, &PictureBox::wheelStep, this,
            [this, step](int rows) { step(VScroll2, rows); });
    auto pageKey = [this, step](QKeySequence key, int rows) {
        auto *shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, this, [this, step, rows] {
            const QPoint pointer = mapFromGlobal(QCursor::pos());
            if (Picture1->geometry().contains(pointer))
                step(VScroll1, rows);
            else if (Picture2->geometry().contains(pointer))
                step(VScroll2, rows);
        });
    };
    pageKey(QKeySequence(Qt::Key_PageUp), -1);
    pageKey(QKeySequence(Qt::Key_PageDown), 1);

    buildShelfSlots();
    buildBookSlots();
    buildDetailsPane();
    buildBottomControls();
    connectSlots();
    startDrag = [this](int slot) { dragBook(slot); };
}

void frmShelf::connectSlots()
{
    auto shelfDrop = [this](const QDropEvent *e) { return acceptsShelfDrop(e); };
    for (int i = 0; i < ShelfSlots; ++i) {
        for (ClickLabel *c : {imgShelf[i], lblShelf[i]}) {
            connect(c, &ClickLabel::clicked, this, [this, i] { imgShelf_Click(i); });
            connect(c, &ClickLabel::pressed, this,
                    [this, i](Qt::MouseButton b) { imgShelf_MouseDown(i, b); });
            c->setAcceptDrops(true);
            c->acceptsDrop = shelfDrop;
            connect(c, &ClickLabel::dropped, this, [this, i](const QMimeData *data) {
                if (data->hasFormat(QLatin1String(BookMimeType)))
                    imgShelf_DragDrop(i);
                else
                    filesDropped(i, data->urls());
            });
        }
    }
    for (int i = 0; i < BookSlots; ++i) {
        for (ClickLabel *c : {Book[i], lblBook[i]})
            connect(c, &ClickLabel::moved, this, [this, i] { Book_MouseMove(i); });
        connect(Book[i], &ClickLabel::pressed, this,
                [this, i](Qt::MouseButton b) { Book_MouseDown(i, b); });
        connect(lblBook[i], &ClickLabel::pressed, this,
                [this, i](Qt::MouseButton b) { lblBook_MouseDown(i, b); });
    }
    imgToReader->setAcceptDrops(true);
    imgToReader->acceptsDrop = [this](const QDropEvent *e) {
        return m_dragging && e->mimeData()->hasFormat(QLatin1String(BookMimeType));
    };
    connect(imgToReader, &ClickLabel::dropped, this, [this] { imgToReader_DragDrop(); });
    connect(imgToReader, &ClickLabel::clicked, this, &frmShelf::imgToReader_Click);
}

void frmShelf::buildShelfSlots()
{
    const QFont font = sansFont(8.25, true);
    for (int i = 0; i < ShelfSlots; ++i) {
        const int row = i / 4, column = i % 4;
        const int left = i == 24 ? 360 : 270 + 1530 * column;
        imgShelf[i] = place(new ClickLabel(Picture1), "imgShelf", left, 90 + 1170 * row, 1050, 705);
        imgShelf[i]->setAlignment(Qt::AlignCenter);
        lblShelf[i] = place(new ClickLabel(Picture1), "lblShelf", 180 + 1530 * column,
                            810 + 1170 * row, 1275, 400);
        lblShelf[i]->setText(QStringLiteral("Name"));
        lblShelf[i]->setTextFormat(Qt::PlainText);
        lblShelf[i]->setFont(font);
        lblShelf[i]->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        lblShelf[i]->setWordWrap(true);
        imgShelf[i]->setProperty("index", i);
        lblShelf[i]->setProperty("index", i);
    }
}

void frmShelf::buildBookSlots()
{
    static const int lefts[] = {270, 1785, 3315, 4845, 6375};
    static const int firstRowLefts[] = {195, 1710, 3240, 4770, 6300};
    const QFont font = sansFont(8.25, true);
    for (int i = 0; i < BookSlots; ++i) {
        const int row = i / 5, column = i % 5;
        const int left = row == 0 ? firstRowLefts[column] : lefts[column];
        const int top = 270 + 1980 * row;
        Book[i] = place(new ClickLabel(Picture2), "Book", left, top, 1200, 975);
        Book[i]->setAlignment(Qt::AlignCenter);
        lblBook[i] = place(new ClickLabel(Picture2), "lblBook", left + 90, top + 990,
                           column == 4 ? 1185 : 1275, 815);
        lblBook[i]->setText(QStringLiteral("Name"));
        lblBook[i]->setTextFormat(Qt::PlainText);
        lblBook[i]->setFont(font);
        lblBook[i]->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        lblBook[i]->setWordWrap(true);
        Book[i]->setProperty("index", i);
        lblBook[i]->setProperty("index", i);
    }
}

void frmShelf::buildDetailsPane()
{
    Picture3 = place(new PictureBox(this), "Picture3", 180, 9180, 5505, 1185);
    const QFont font = sansFont(8.25, true);
    auto field = [&](const char *name, int left, int top, int width) {
        auto *t = place(new QLineEdit(Picture3), name, left, top, width, 285);
        t->setReadOnly(true);
        t->setFont(font);
        t->setFrame(true);
        return t;
    };
    fitWidth(place(new QLabel(QStringLiteral("Title:"), Picture3), "Label1", 180, 45, 915, 195));
    txtTitle = field("txtTitle", 180, 225, 4065);
    fitWidth(place(new QLabel(QStringLiteral("Shelf:"), Picture3), "Label2", 180, 585, 1275, 195));
    txtAuthor = field("txtAuthor", 180, 765, 4065);
    fitWidth(place(new QLabel(QStringLiteral("Format:"), Picture3), "Label3", 4410, 45, 555, 195));
    txtFormat = field("txtFormat", 4410, 225, 915);
    imgBookImage = place(new QLabel(Picture3), "imgBookImage", 4590, 585, 585, 495);
    imgBookImage->setScaledContents(true);
    txtTitle->setAccessibleName(QStringLiteral("Title"));
    txtAuthor->setAccessibleName(QStringLiteral("Shelf"));
    txtFormat->setAccessibleName(QStringLiteral("Format"));
}

void frmShelf::buildBottomControls()
{
    const QFont buttonFont = sansFont(9.75, true);
    auto button = [&](const QString &text, const char *name, int left, int top) {
        auto *b = place(new AccessKeyButton(text, this), name, left, top, 1275, 465);
        b->setFont(buttonFont);
        b->setAutoDefault(false);
        return b;
    };
    cmdNewShelf = button(QStringLiteral("&New Shelf"), "cmdNewShelf", 5850, 9180);
    cmdRefresh = button(QStringLiteral("&Refresh"), "cmdRefresh", 5850, 9900);

    Frame1 = place(new QGroupBox(QStringLiteral("Drag Book to:"), this), "Frame1", 7470, 9270, 1275,
                   1005);
    optMove
        = place(new QRadioButton(QStringLiteral("Move"), Frame1), "optMove", 90, 270, 1095, 285);
    optCopy
        = place(new QRadioButton(QStringLiteral("Copy"), Frame1), "optCopy", 90, 630, 1095, 285);

    lblHowMany = place(new QLabel(this), "lblHowMany", 9090, 9270, 2175, 1095);
    lblHowMany->setFont(sansFont(8.25, true));
    lblHowMany->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    cmdExit = button(QStringLiteral("E&xit"), "cmdExit", 11610, 9540);
    connect(cmdExit, &QPushButton::clicked, this, &frmShelf::exitRequested);
    connect(cmdNewShelf, &QPushButton::clicked, this, &frmShelf::cmdNewShelf_Click);
    connect(cmdRefresh, &QPushButton::clicked, this, &frmShelf::cmdRefresh_Click);

    File1 = place(new QListWidget(this), "File1", 11430, 540, 3615, 8475);
    File1->hide();
    Label4 = place(new ClickLabel(this), "Label4", 13140, 9180, 1185, 1185);
    Label4->setText(ClosedListingText);
    Label4->setWordWrap(true);
    Label4->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont small = font();
    small.setPointSizeF(7);
    Label4->setFont(small);
    imgToReader = place(new ClickLabel(this), "imgToReader", 14130, 9180, 1200, 1200);
    imgToReader->setAlignment(Qt::AlignCenter);
    imgToReader->setAccessibleName(QStringLiteral("eBook Reader Content Folder"));
    imgToReader->setToolTip(QStringLiteral("Drop a book here to send a copy to your eBook reader "
                                           "folder; click to list that folder"));
}

void frmShelf::setShelfPicture(int slot, int position)
{
    imgShelf[slot]->setPixmap(ImageList1::picture(position));
}

void frmShelf::clearDetails()
{
    if (m_dragging)
        return; // the pane is the record of the book being dragged
    m_paneFileName.clear();
    txtTitle->setToolTip(QString());
    txtTitle->setText(QString());
    txtFormat->setText(QString());
    txtAuthor->setText(QString());
}

void frmShelf::Form_Load()
{
    LoadMarks(g);
    optMove->setChecked(true);
    showLibrary();
}

void frmShelf::showLibrary()
{
    lblWhichShelf->clear(); // a shelf of the same name in another library is not current
    CreateShelves();
    VScroll1->setValue(1);
    FillShelves();
    // With no shelf at all the heading stays empty (and so does the book grid).
    lblWhichShelf->setText(m_shelfList.empty() ? QString() : lblShelf[0]->text());
    CreateBooks(0);
    FillBooks();
    if (!m_shelfList.empty())
        setShelfPicture(0, 4);
    VScroll2->setValue(1);
    imgBookImage->setPixmap(ImageList1::picture(5));
    imgToReader->setPixmap(ImageList1::picture(2));
}

void frmShelf::CreateShelves()
{
    m_shelfList.clear();
    if (g.ShelfFolders) {
        const QString folder = g.ShelfFolders->Path();
        std::optional<NameList> ahead
            = g.readAhead ? g.readAhead->takeFolderNames(folder) : std::nullopt;
        m_shelfList = ahead ? std::move(*ahead) : g.ShelfFolders->folderNames();
    }
    const int count = m_shelfList.size();
    if (scrollBarShown(ShelfGrid, count)) {
        VScroll1->setMaximum(scrollMaximum(ShelfGrid, count));
        VScroll1->show();
    } else {
        // A hidden bar pages nothing: stand at the first page so no shelf is out of reach.
        VScroll1->hide();
        VScroll1->setValue(1);
    }
    SelectedShelf = 0;
}

void frmShelf::FillShelves()
{
    const QString current = lblWhichShelf->text();
    const int position = VScroll1->value();
    for (int i = 0; i < ShelfSlots; ++i) {
        setShelfPicture(i, 3);
        const int k = listIndex(ShelfGrid, position, i);
        if (k < 0 || k >= m_shelfList.size()) {
            imgShelf[i]->hide();
            lblShelf[i]->hide();
            continue;
        }
        const QString name = m_shelfList.at(k);
        imgShelf[i]->setToolTip(name);
        imgShelf[i]->setAccessibleName(name);
        lblShelf[i]->setText(name);
        imgShelf[i]->show();
        lblShelf[i]->show();
        if (name == current) {
            SelectedShelf = i;
            setShelfPicture(i, 4);
        }
    }
}

void frmShelf::CreateBooks(int ShelfNumber)
{
    Q_UNUSED(ShelfNumber) // the shelf listed is always the one the heading names
    m_bookList.clear();
    const QString shelf = lblWhichShelf->text();
    if (!shelf.isEmpty()) {
        const QString path = g.BookFolder + u'/' + shelf;
        std::optional<NameList> ahead
            = g.readAhead ? g.readAhead->takeFileNames(path) : std::nullopt;
        if (ahead) {
            m_bookList = std::move(*ahead);
        } else if (const std::optional<FileSys::Folder> folder = g.FileSys.GetFolder(path)) {
            m_bookList = folder->fileNames();
        }
    }
    m_bookCount = m_bookList.size();
    if (scrollBarShown(BookGrid, m_bookCount)) {
        VScroll2->setMaximum(scrollMaximum(BookGrid, m_bookCount));
        VScroll2->show();
    } else {
        VScroll2->hide();
        VScroll2->setValue(1);
    }
    lblHowMany->setText(QStringLiteral("Books: %1\r\n").arg(m_bookCount));
}

void frmShelf::FillBooks()
{
    const QString shelf = lblWhichShelf->text();
    const int position = VScroll2->value();
    const QPixmap book = ImageList1::picture(5);
    QStringList names;
    for (int i = 0; i < BookSlots; ++i) {
        const int k = listIndex(BookGrid, position, i);
        if (k >= 0 && k < m_bookList.size())
            names.append(m_bookList.at(k));
    }
    const std::vector<int> colours = g.Marks.coloursOf(names);
    for (int i = 0; i < BookSlots; ++i) {
        if (i >= names.size()) {
            Book[i]->hide();
            lblBook[i]->hide();
            continue;
        }
        const QString &name = names[i];
        Book[i]->setToolTip(name);
        Book[i]->setAccessibleName(name);
        Book[i]->setPixmap(book);
        Book[i]->show();
        QPalette pal = lblBook[i]->palette();
        pal.setColor(QPalette::WindowText, MarksLine::colour(colours[size_t(i)]));
        lblBook[i]->setPalette(pal);
        lblBook[i]->setToolTip(name);
        lblBook[i]->setText(splitBookName(name).title);
        lblBook[i]->show();
        Book[i]->setProperty("Tag", shelf);
    }
}

void frmShelf::imgShelf_Click(int Index)
{
    lblWhichShelf->setText(lblShelf[Index]->text());
    setShelfPicture(SelectedShelf, 3);
    SelectedShelf = Index;
    setShelfPicture(Index, 4);
    CreateBooks(SelectedShelf);
    FillBooks();
}

void frmShelf::imgShelf_MouseDown(int Index, Qt::MouseButton Button)
{
    if (Button != Qt::RightButton)
        return;
    g.ShelfIndex = Index;
    g.ShelfName = lblShelf[Index]->text();
    if (m_host)
        m_host->showShelfPopUp(lblShelf[Index]->text());
}

void frmShelf::Book_MouseMove(int Index)
{
    if (m_dragging)
        return;
    const QString name = Book[Index]->toolTip();
    const BookName parts = splitBookName(name);
    m_paneFileName = name;
    txtTitle->setText(parts.title);
    txtTitle->setToolTip(name);
    txtAuthor->setText(Book[Index]->property("Tag").toString());
    txtFormat->setText(parts.format);
    for (QLineEdit *t : {txtTitle, txtAuthor, txtFormat})
        t->setCursorPosition(0); // show the start of a long text
}

void frmShelf::Book_MouseDown(int Index, Qt::MouseButton Button)
{
    if (Button == Qt::LeftButton) {
        // The press itself starts the drag, with the pane holding this book throughout.
        Book_MouseMove(Index);
        m_dragging = true;
        if (startDrag)
            startDrag(Index);
        m_dragging = false;
        return;
    }
    lblBook_MouseDown(Index, Button);
}

void frmShelf::lblBook_MouseDown(int Index, Qt::MouseButton Button)
{
    if (Button != Qt::RightButton)
        return;
    g.BookName = Book[Index]->toolTip();
    g.BookNumber = Index;
    g.ShelfName = Book[Index]->property("Tag").toString();
    g.ShelfIndex = SelectedShelf;
    if (m_host)
        m_host->showBookPopUp(lblBook[Index]->text());
}

void frmShelf::dragBook(int slot)
{
    auto *drag = new QDrag(Book[slot]);
    auto *data = new QMimeData;
    data->setData(QLatin1String(BookMimeType), Book[slot]->toolTip().toUtf8());
    drag->setMimeData(data);
    drag->setPixmap(Book[slot]->pixmap());
    drag->setHotSpot(QPoint(drag->pixmap().width() / 2, drag->pixmap().height() / 2));
    drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
}

bool frmShelf::acceptsShelfDrop(const QDropEvent *event) const
{
    const QMimeData *data = event->mimeData();
    // A book drag is taken only while this window's own drag is under way: the pane holds the
    // book then, and a drag from another program could not name it.
    if (data->hasFormat(QLatin1String(BookMimeType)))
        return m_dragging;
    if (!data->hasUrls())
        return false;
    for (const QUrl &url : data->urls()) {
        if (!url.isLocalFile())
            return false;
    }
    return true;
}

bool frmShelf::confirmOverwrite()
{
    return g.prompter->message(QStringLiteral("File Exists"),
                               QStringLiteral("File Exists. Do you wish to overwrite?"),
                               Prompter::Buttons::OkCancel)
        == Prompter::Answer::Ok;
}

void frmShelf::reportFailure(const QString &title, const QString &what, const QString &error)
{
    g.prompter->message(title, what + QStringLiteral("\r\n\r\n") + error);
}

void frmShelf::rebuildBooks()
{
    CreateBooks(SelectedShelf);
    FillBooks();
}

void frmShelf::imgShelf_DragDrop(int Index)
{
    const QString S = lblShelf[Index]->text();
    const QString A = txtAuthor->text();
    const QString name = m_paneFileName;
    if (name.isEmpty() || A.isEmpty())
        return;
    const QString D = g.BookFolder + u'/' + S + u'/' + name;
    const QString P = g.BookFolder + u'/' + A + u'/' + name;
    // Dropped where it already lies: nothing to do, and nothing may be overwritten.
    if (S == A || g.FileSys.sameFile(P, D))
        return;
    bool overwrite = false;
    if (g.FileSys.FileExists(D)) {
        if (!confirmOverwrite())
            return;
        overwrite = true;
    }
    const bool move = optMove->isChecked();
    const FsResult result
        = move ? g.FileSys.MoveFile(P, D, overwrite) : g.FileSys.CopyFile(P, D, overwrite);
    if (!result)
        reportFailure(move ? QStringLiteral("Cannot Move Book")
                           : QStringLiteral("Cannot Copy Book"),
                      QStringLiteral("'%1' could not be %2 to the shelf %3.")
                          .arg(name, move ? QStringLiteral("moved") : QStringLiteral("copied"), S),
                      result.error);
    rebuildBooks();
}

void frmShelf::filesDropped(int Index, const QList<QUrl> &urls)
{
    const QString S = lblShelf[Index]->text();
    for (const QUrl &url : urls) {
        const QString source = url.toLocalFile();
        if (!g.FileSys.FileExists(source))
            continue; // folders and vanished files are not books
        const QString name = lastPathPart(source);
        const QString target = g.BookFolder + u'/' + S + u'/' + name;
        if (g.FileSys.sameFile(source, target))
            continue;
        bool overwrite = false;
        if (g.FileSys.FileExists(target)) {
            if (!confirmOverwrite())
                continue;
            overwrite = true;
        }
        const FsResult result = g.FileSys.CopyFile(source, target, overwrite);
        if (!result)
            reportFailure(QStringLiteral("Cannot Copy Book"),
                          QStringLiteral("'%1' could not be copied to the shelf %2.").arg(name, S),
                          result.error);
    }
    if (S == lblWhichShelf->text())
        rebuildBooks();
}

bool frmShelf::ensureReaderFolder()
{
    while (g.ReaderFolder.isEmpty()) {
        g.prompter->message(QStringLiteral("Main Book Folder not identified."),
                            QStringLiteral("You must indicate the location of the eBook Reader "
                                           "Content Folder.\r\nPress 'OK' to continue."));
        if (!m_host || !m_host->askForFolders())
            return false;
    }
    return true;
}

namespace {
bool onFatVolume(const QString &folder)
{
    const QByteArray type = QStorageInfo(folder).fileSystemType().toLower();
    return type == "vfat" || type == "msdos" || type == "fat" || type == "exfat"
        || type == "fuseblk";
}
} // namespace

void frmShelf::imgToReader_DragDrop()
{
    // Read the pane before anything else can change it.
    const QString A = txtAuthor->text();
    const QString name = m_paneFileName;
    if (!ensureReaderFolder() || name.isEmpty())
        return;
    const QString R = g.ReaderFolder + u'/' + name;
    const QString P = g.BookFolder + u'/' + A + u'/' + name;
    if (g.FileSys.sameFile(P, R)) {
        g.prompter->message(QStringLiteral("Same Folder"),
                            QStringLiteral("'%1' already lies in the eBook Reader Content Folder: "
                                           "that folder is the folder of its shelf. Nothing was "
                                           "copied.")
                                .arg(name));
        return;
    }
    if (fatRejectsName(name)) {
        const QString why
            = QStringLiteral("'%1' cannot be stored on a reader device formatted with FAT or "
                             "exFAT: such devices refuse the characters : * ? \" < > | \\ "
                             "and a name ending in a dot or a blank.")
                  .arg(name);
        if (onFatVolume(g.ReaderFolder)) {
            g.prompter->message(QStringLiteral("Name Not Accepted by the Reader"),
                                why + QStringLiteral("\r\nRename the book, then send it again."));
            return;
        }
        if (g.prompter->message(QStringLiteral("Name Not Accepted by the Reader"),
                                why + QStringLiteral("\r\nCopy it anyway?"),
                                Prompter::Buttons::OkCancel)
            != Prompter::Answer::Ok)
            return;
    }
    bool overwrite = false;
    if (g.FileSys.FileExists(R)) {
        if (!confirmOverwrite())
            return;
        overwrite = true;
    }
    const FsResult result = g.FileSys.CopyFile(P, R, overwrite);
    if (!result) {
        reportFailure(QStringLiteral("Cannot Copy Book"),
                      QStringLiteral("'%1' could not be copied to the eBook Reader Content "
                                     "Folder.")
                          .arg(name),
                      result.error);
        rebuildBooks();
    }
}

void frmShelf::imgToReader_Click()
{
    if (File1->isVisible()) {
        File1->hide();
        Label4->setText(ClosedListingText);
        return;
    }
    if (!ensureReaderFolder())
        return;
    File1->clear();
    QString error;
    if (const auto folder = g.FileSys.GetFolder(g.ReaderFolder, &error)) {
        for (const QString &name : folder->Files().names) {
            if (!name.startsWith(u'.'))
                File1->addItem(name);
        }
    } else {
        reportFailure(QStringLiteral("Cannot List Reader Folder"),
                      QStringLiteral("The eBook Reader Content Folder cannot be read."), error);
    }
    File1->show();
    File1->raise();
    Label4->setText(OpenListingText);
}

void frmShelf::cmdNewShelf_Click()
{
    const QString name = g.prompter->input(QStringLiteral("Please enter the name of the new Shelf"),
                                           QStringLiteral("New Shelf"));
    if (name.isEmpty() || !acceptTypedName(*g.prompter, name))
        return;
    const QString path = g.BookFolder + u'/' + name;
    if (g.FileSys.FolderExists(path) || g.FileSys.FileExists(path)) {
        g.prompter->message(QStringLiteral("Shelf Exists"),
                            QStringLiteral("'%1' already exists. Cannot create it.").arg(name));
        return;
    }
    const FsResult result = g.FileSys.CreateFolder(path);
    if (!result)
        reportFailure(QStringLiteral("Cannot Create Shelf"),
                      QStringLiteral("The shelf '%1' could not be created.").arg(name),
                      result.error);
    CreateShelves();
    FillShelves();
}

void frmShelf::cmdRefresh_Click()
{
    VScroll1->setValue(1);
    CreateShelves();
    FillShelves();
    lblWhichShelf->setText(m_shelfList.empty() ? QString() : lblShelf[SelectedShelf]->text());
    CreateBooks(SelectedShelf);
    FillBooks();
    VScroll2->setValue(1);
    // The current shelf is drawn as current, also when it had to change to the first one.
    if (!m_shelfList.empty())
        setShelfPicture(SelectedShelf, 4);
}
