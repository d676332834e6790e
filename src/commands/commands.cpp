#include "commands.h"

#include "bookcase.h"
#include "bookname.h"
#include "globalstate.h"
#include "marks.h"
#include "marksline.h"
#include "names.h"
#include "prompter.h"
#include "transfer.h"

namespace {

const QString SameNameTitle = QStringLiteral("Same Name");
const QString NameNotChanged = QStringLiteral("Name not changed.");

} // namespace

void Commands::report(const QString &title, const QString &what, const QString &error)
{
    m_bookcase.report({title, what + QStringLiteral("\r\n\r\n") + error});
}

void Commands::showSaved(const MarksSaved &saved)
{
    m_bookcase.report(saved.failure);
    if (saved.reloaded) // the marks of another copy came with it
        m_bookcase.FillBooks();
}

bool Commands::confirmDelete(const QString &title, const QString &name)
{
    return g.prompter->agrees(title,
                              QStringLiteral("'%1' will be permanently deleted.\r\n\r\n"
                                             "Are you sure you want to delete %1?")
                                  .arg(name),
                              Prompter::Buttons::YesNo);
}

bool Commands::isDisplayedShelf() const
{
    // By name: slot numbers of different pages of the shelf grid could coincide.
    return m_bookcase.target().ShelfName == m_bookcase.currentShelf();
}

void Commands::mnuMarkBook_Click(int Index)
{
    const CommandScope command(m_bookcase);
    const PopUpTarget &t = m_bookcase.target();
    if (t.BookName.isEmpty())
        return;
    // The marks file is one line of text: a line break would break it for every other mark,
    // a name that is not readable text could not be read back as itself, nor one whose comma
    // and number would read as the end of a shorter name ("Vol,3 Part.txt" would mark "Vol").
    const bool lineBreak = t.BookName.contains('\n') || t.BookName.contains('\r');
    const bool readable = readableName(t.BookName);
    if (lineBreak || !readable || !MarksLine::readsBack(t.BookName, Index)) {
        m_bookcase.report(
            {QStringLiteral("Cannot Mark Book"),
             QStringLiteral("This book's file name %1, so it cannot be marked. Rename the book "
                            "first.")
                 .arg(lineBreak       ? QStringLiteral("holds a line break")
                          : !readable ? QStringLiteral("is not readable text")
                                      : QStringLiteral("holds a comma followed by a number, which "
                                                       "the marks file would read as the end of "
                                                       "the name"))});
        return;
    }
    m_bookcase.showColour(t.BookNumber, Index);
    showSaved(changeMark(g, t.BookName, Index)); // marked.dat is written at once: a crash keeps it
}

void Commands::mnuUnmark_Click()
{
    const CommandScope command(m_bookcase);
    const PopUpTarget &t = m_bookcase.target();
    const MarksLine::Entry entry = g.Marks.FindMarkEntry(t.BookName);
    if (t.BookName.isEmpty() || !entry.found)
        return;
    m_bookcase.showColour(t.BookNumber, 0);
    showSaved(changeMark(g, t.BookName, 0));
}

void Commands::mnuSendToReader_Click()
{
    const PopUpTarget &t = m_bookcase.target();
    if (!t.BookName.isEmpty())
        m_bookcase.sendToReader({t.ShelfName, t.BookName});
}

void Commands::mnuBookRename_Click()
{
    renameBook(QStringLiteral("Rename Book"), QString());
}

void Commands::mnuRenameFromDetails_Click()
{
    const PopUpTarget t = m_bookcase.target();
    if (t.BookName.isEmpty())
        return;
    const std::optional<BookDetails> details = detailsOf
        ? detailsOf(m_bookcase.bookPath(t.ShelfName, t.BookName).bytes())
        : std::nullopt;
    const qsizetype dot = t.BookName.indexOf('.');
    const QString proposed = details
        ? nameFromDetails(*details, dot < 0 ? QByteArray() : t.BookName.mid(dot))
        : QString();
    if (proposed.isEmpty()) {
        g.prompter->message(QStringLiteral("Rename from Details"),
                            details ? QStringLiteral("This book does not give its title.")
                                    : QStringLiteral("This book's details have not been read "
                                                     "yet. Try again in a moment."));
        return;
    }
    renameBook(QStringLiteral("Rename from Details"), proposed);
}

void Commands::renameBook(const QString &caption, const QString &proposed)
{
    const CommandScope command(m_bookcase);
    const PopUpTarget t = m_bookcase.target();
    if (t.BookName.isEmpty())
        return;
    const qsizetype dot = t.BookName.indexOf('.');
    // Without a dot there is no format to keep: the whole name is what the user renames.
    const QByteArray title = dot >= 0 ? t.BookName.left(dot) : t.BookName;
    const QString prompt = dot >= 0 ? QStringLiteral("Rename '%1' to ...").arg(shownName(title))
                                    : QStringLiteral("Rename %1 to ...").arg(shownName(t.BookName));
    const QString newName = g.prompter->input(prompt, caption, proposed);
    if (newName.toUtf8() == title) {
        m_bookcase.report({SameNameTitle, NameNotChanged});
        return;
    }
    if (newName.isEmpty()) {
        m_bookcase.reloadBooks();
        return;
    }
    const QByteArray newFileName
        = dot >= 0 ? newName.toUtf8() + t.BookName.mid(dot) : newName.toUtf8();
    if (const Notice refused = typedNameNotice(newName) ? typedNameNotice(newName)
                                                        : typedNameNotice(shownName(newFileName)))
        return m_bookcase.report(refused);
    const Path oldPath = m_bookcase.bookPath(t.ShelfName, t.BookName);
    const Path newPath = m_bookcase.bookPath(t.ShelfName, newFileName);
    bool overwrite = false;
    if (g.FileSys.FileExists(newPath) && !g.FileSys.sameFile(oldPath, newPath)) {
        if (!g.prompter->agrees(QStringLiteral("Book Exists"),
                                QStringLiteral("Book Exists. Do you wish to overwrite?"),
                                Prompter::Buttons::OkCancel))
            return;
        overwrite = true;
    }
    const FsResult result = g.FileSys.RenameFile(oldPath, newPath, overwrite);
    if (!result)
        report(QStringLiteral("Cannot Rename Book"),
               QStringLiteral("'%1' could not be renamed to '%2'.")
                   .arg(shownName(t.BookName), shownName(newFileName)),
               result.error);
    m_bookcase.reloadBooks();
}

void Commands::mnuBookDelete_Click()
{
    const CommandScope command(m_bookcase);
    const PopUpTarget t = m_bookcase.target();
    if (t.BookName.isEmpty())
        return;
    if (confirmDelete(QStringLiteral("Delete Book"), shownName(t.BookName))) {
        const FsResult result = g.FileSys.DeleteFile(m_bookcase.bookPath(t.ShelfName, t.BookName));
        if (!result)
            report(QStringLiteral("Cannot Delete Book"),
                   QStringLiteral("'%1' could not be deleted.").arg(shownName(t.BookName)),
                   result.error);
    }
    m_bookcase.reloadBooks();
}

QString Commands::fileTakesName(const QString &name) const
{
    return QStringLiteral("A file named '%1' lies in the Main Book Folder (%2), so no shelf can "
                          "take that name.")
        .arg(name, g.BookFolder);
}

void Commands::cmdNewShelf_Click()
{
    const CommandScope command(m_bookcase);
    const QString name = g.prompter->input(QStringLiteral("Please enter the name of the new Shelf"),
                                           QStringLiteral("New Shelf"));
    if (name.isEmpty())
        return;
    if (const Notice refused = typedNameNotice(name))
        return m_bookcase.report(refused);
    const Path path = m_bookcase.bookPath(name.toUtf8());
    if (g.FileSys.FolderExists(path)) {
        m_bookcase.report({QStringLiteral("Shelf Exists"),
                           QStringLiteral("'%1' already exists. Cannot create it.").arg(name)});
        return;
    }
    if (g.FileSys.nameState(path) == NameState::Taken) { // a file the bookcase never shows
        m_bookcase.report({QStringLiteral("Name Taken by a File"),
                           fileTakesName(name) + QStringLiteral(" Cannot create it.")});
        return;
    }
    const FsResult result = g.FileSys.CreateFolder(path);
    if (!result)
        report(QStringLiteral("Cannot Create Shelf"),
               QStringLiteral("The shelf '%1' could not be created.").arg(name), result.error);
    m_bookcase.reloadShelves();
}

void Commands::cmdShelfRename_Click()
{
    const CommandScope command(m_bookcase);
    const PopUpTarget t = m_bookcase.target();
    if (t.ShelfName.isEmpty())
        return;
    const QString oldName = shownName(t.ShelfName);
    const QString newName = g.prompter->input(QStringLiteral("Rename '%1' to ...").arg(oldName),
                                              QStringLiteral("Rename Shelf"));
    if (newName.toUtf8() == t.ShelfName) {
        m_bookcase.report({SameNameTitle, NameNotChanged});
        return;
    }
    if (!newName.isEmpty()) {
        if (const Notice refused = typedNameNotice(newName))
            return m_bookcase.report(refused);
        const Path oldPath = m_bookcase.bookPath(t.ShelfName);
        const Path newPath = m_bookcase.bookPath(newName.toUtf8());
        // Another letter case of the same name names the shelf itself where case is ignored.
        if (g.FileSys.nameState(newPath) == NameState::Taken
            && !g.FileSys.sameFile(oldPath, newPath)) {
            return m_bookcase.report(
                g.FileSys.FolderExists(newPath)
                    ? Notice {QStringLiteral("Shelf Exists"),
                              QStringLiteral("Shelf Exists. Cannot Rename.")}
                    : Notice {QStringLiteral("Name Taken by a File"),
                              fileTakesName(newName) + QStringLiteral(" Cannot rename.")});
        }
        const bool displayed = isDisplayedShelf();
        const FsResult result = g.FileSys.MoveFolder(oldPath, newPath);
        if (!result)
            report(QStringLiteral("Cannot Rename Shelf"),
                   QStringLiteral("The shelf '%1' could not be renamed to '%2'.")
                       .arg(oldName, newName),
                   result.error);
        else if (displayed)
            m_bookcase.currentShelfRenamed(newName.toUtf8());
    }
    m_bookcase.reloadShelves();
}

void Commands::mnuShelfDelete_Click()
{
    const CommandScope command(m_bookcase);
    const PopUpTarget t = m_bookcase.target();
    if (t.ShelfName.isEmpty())
        return;
    const QString name = shownName(t.ShelfName);
    const Path path = m_bookcase.bookPath(t.ShelfName);
    const auto folder = g.FileSys.GetFolder(path);
    if (folder)
        folder->fileNames(nullptr, true); // a crash's leftovers do not keep the shelf
    const FolderContents held = folder ? folder->contents() : FolderContents();
    if (!folder) {
        report(QStringLiteral("Cannot Delete Shelf"),
               QStringLiteral("The shelf '%1' cannot be opened.").arg(name), folder.error());
    } else if (!held.empty()) {
        // Sub-folders and hidden files count too: nothing the user cannot see is deleted, and
        // the message says what keeps the shelf.
        m_bookcase.report(
            {QStringLiteral("Cannot Delete Shelf"),
             name + QStringLiteral(" is not empty. Cannot delete.")
                 + (held.files < 0 ? QString()
                                   : QStringLiteral(" It holds %1.").arg(held.described()))});
    } else if (confirmDelete(QStringLiteral("Delete Shelf"), name)) {
        const FsResult result = g.FileSys.DeleteFolder(path);
        if (!result)
            report(QStringLiteral("Cannot Delete Shelf"),
                   QStringLiteral("The shelf '%1' could not be deleted.").arg(name), result.error);
    }
    if (isDisplayedShelf())
        m_bookcase.showFirstShelf();
    else
        m_bookcase.reloadShelves();
}

void Commands::addOutsideBooks(const Path &folder, const QList<QByteArray> &fileNames, bool move)
{
    const CommandScope command(m_bookcase);
    const PopUpTarget t = m_bookcase.target();
    if (fileNames.isEmpty() || t.ShelfName.isEmpty())
        return;
    std::vector<Transfer> batch;
    for (const QByteArray &fileName : fileNames) {
        const Path source
            = folder.bytes().endsWith('/') ? Path(folder.bytes() + fileName) : folder / fileName;
        batch.push_back(
            {source, m_bookcase.bookPath(t.ShelfName, fileName), move,
             move ? QStringLiteral("Cannot Move Book") : QStringLiteral("Cannot Copy Book"),
             QStringLiteral("'%1' could not be %2 to the shelf %3.")
                 .arg(shownName(fileName),
                      move ? QStringLiteral("moved") : QStringLiteral("copied"),
                      shownName(t.ShelfName))});
    }
    // The picker may show the shelf's own folder: then the file is already where it would go.
    m_bookcase.report(transferBooks(g.FileSys, *g.prompter, batch).failure);
    m_bookcase.redrawShelves();
    if (isDisplayedShelf())
        m_bookcase.reloadBooks();
}
