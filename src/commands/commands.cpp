#include "commands.h"

#include "bookname.h"
#include "frmshelf.h"
#include "globalstate.h"
#include "marksline.h"
#include "prompter.h"
#include "widgets.h"

#include <QLabel>

namespace {
const QString SameNameTitle = QStringLiteral("Same Name");
const QString NameNotChanged = QStringLiteral("Name not changed.");
} // namespace

void Commands::rebuildBooks()
{
    m_shelf.CreateBooks(g.ShelfIndex);
    m_shelf.FillBooks();
}

void Commands::report(const QString &title, const QString &what, const QString &error)
{
    g.prompter->message(title, what + QStringLiteral("\r\n\r\n") + error);
}

bool Commands::confirmDelete(const QString &title, const QString &name)
{
    const QString question = QStringLiteral("'%1' will be permanently deleted.\r\n\r\n"
                                            "Are you sure you want to delete %1?")
                                 .arg(name);
    return g.prompter->message(title, question, Prompter::Buttons::YesNo) == Prompter::Answer::Yes;
}

void Commands::colourBookLabel(int colour)
{
    if (g.BookNumber < 0 || g.BookNumber >= frmShelf::BookSlots)
        return;
    QLabel *label = m_shelf.lblBook[g.BookNumber];
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, MarksLine::colour(colour));
    label->setPalette(pal);
}

bool Commands::isDisplayedShelf() const
{
    // By name: slot numbers of different pages of the shelf grid could coincide.
    return g.ShelfName == m_shelf.lblWhichShelf->text();
}

void Commands::mnuMarkBook_Click(int Index)
{
    if (g.BookName.contains(u'\n') || g.BookName.contains(u'\r')) {
        // The marks file is one line: such a name would break it for every other mark.
        g.prompter->message(QStringLiteral("Cannot Mark Book"),
                            QStringLiteral("This book's file name holds a line break, so it "
                                           "cannot be marked. Rename the book first."));
        return;
    }
    const MarksLine::Entry entry = g.Marks.FindMarkEntry(g.BookName);
    if (entry.found)
        g.Marks.removeEntry(entry);
    g.Marks.appendEntry(g.BookName, Index);
    colourBookLabel(Index);
}

void Commands::mnuUnmark_Click()
{
    const MarksLine::Entry entry = g.Marks.FindMarkEntry(g.BookName);
    if (!entry.found)
        return;
    g.Marks.removeEntry(entry);
    colourBookLabel(0);
}

void Commands::mnuBookRename_Click()
{
    const QString folder = g.BookFolder + u'/' + g.ShelfName + u'/';
    const QString oldPath = folder + g.BookName;
    const qsizetype dot = g.BookName.indexOf(u'.');
    const BookName parts = splitBookName(g.BookName);
    const QString prompt = dot >= 0 ? QStringLiteral("Rename '%1' to ...").arg(parts.title)
                                    : QStringLiteral("Rename %1 to ...").arg(g.BookName);
    const QString newName = g.prompter->input(prompt, QStringLiteral("Rename Book"));
    // Without a dot there is no format to keep: the whole name is what the user renames.
    if (newName == (dot >= 0 ? parts.title : g.BookName)) {
        g.prompter->message(SameNameTitle, NameNotChanged);
        return;
    }
    if (newName.isEmpty()) {
        rebuildBooks();
        return;
    }
    const QString newFileName = dot >= 0 ? newName + u'.' + parts.format : newName;
    if (!acceptTypedName(*g.prompter, newName) || !acceptTypedName(*g.prompter, newFileName))
        return;
    const QString newPath = folder + newFileName;
    bool overwrite = false;
    if (g.FileSys.FileExists(newPath) && !g.FileSys.sameFile(oldPath, newPath)) {
        if (g.prompter->message(QStringLiteral("Book Exists"),
                                QStringLiteral("Book Exists. Do you wish to overwrite?"),
                                Prompter::Buttons::OkCancel)
            != Prompter::Answer::Ok)
            return;
        overwrite = true;
    }
    const FsResult result = g.FileSys.RenameFile(oldPath, newPath, overwrite);
    if (!result)
        report(QStringLiteral("Cannot Rename Book"),
               QStringLiteral("'%1' could not be renamed to '%2'.").arg(g.BookName, newFileName),
               result.error);
    rebuildBooks();
}

void Commands::mnuBookDelete_Click()
{
    const QString path = g.BookFolder + u'/' + g.ShelfName + u'/' + g.BookName;
    if (confirmDelete(QStringLiteral("Delete Book"), g.BookName)) {
        const FsResult result = g.FileSys.DeleteFile(path);
        if (!result)
            report(QStringLiteral("Cannot Delete Book"),
                   QStringLiteral("'%1' could not be deleted.").arg(g.BookName), result.error);
    }
    rebuildBooks();
}

void Commands::cmdShelfRename_Click()
{
    const QString oldPath = g.BookFolder + u'/' + g.ShelfName;
    const QString newName = g.prompter->input(QStringLiteral("Rename '%1' to ...").arg(g.ShelfName),
                                              QStringLiteral("Rename Shelf"));
    if (newName == g.ShelfName) {
        g.prompter->message(SameNameTitle, NameNotChanged);
        return;
    }
    if (!newName.isEmpty()) {
        if (!acceptTypedName(*g.prompter, newName))
            return;
        const QString newPath = g.BookFolder + u'/' + newName;
        const bool caseOnly = g.FileSys.sameFile(oldPath, newPath);
        if ((g.FileSys.FolderExists(newPath) || g.FileSys.FileExists(newPath)) && !caseOnly) {
            g.prompter->message(QStringLiteral("Shelf Exists"),
                                QStringLiteral("Shelf Exists. Cannot Rename."));
            return;
        }
        const bool displayed = isDisplayedShelf();
        const FsResult result = g.FileSys.MoveFolder(oldPath, newPath);
        if (!result) {
            report(QStringLiteral("Cannot Rename Shelf"),
                   QStringLiteral("The shelf '%1' could not be renamed to '%2'.")
                       .arg(g.ShelfName, newName),
                   result.error);
        } else if (displayed) {
            m_shelf.lblWhichShelf->setText(newName);
            // The books stay on screen, now known under their shelf's new name.
            m_shelf.FillBooks();
        }
    }
    m_shelf.CreateShelves();
    m_shelf.FillShelves();
}

void Commands::mnuShelfDelete_Click()
{
    const QString path = g.BookFolder + u'/' + g.ShelfName;
    QString error;
    const auto folder = g.FileSys.GetFolder(path, &error);
    if (!folder) {
        report(QStringLiteral("Cannot Delete Shelf"),
               QStringLiteral("The shelf '%1' cannot be opened.").arg(g.ShelfName), error);
    } else if (!folder->isEmpty()) {
        // Sub-folders count too: nothing the user cannot see in the program is deleted.
        g.prompter->message(QStringLiteral("Cannot Delete Shelf"),
                            g.ShelfName + QStringLiteral(" is not empty. Cannot delete."));
    } else {
        if (confirmDelete(QStringLiteral("Delete Shelf"), g.ShelfName)) {
            const FsResult result = g.FileSys.DeleteFolder(path);
            if (!result)
                report(QStringLiteral("Cannot Delete Shelf"),
                       QStringLiteral("The shelf '%1' could not be deleted.").arg(g.ShelfName),
                       result.error);
        }
    }
    if (!isDisplayedShelf()) {
        m_shelf.CreateShelves();
        m_shelf.FillShelves();
        return;
    }
    m_shelf.SelectedShelf = 0;
    m_shelf.cmdRefresh_Click();
}

void Commands::addOutsideBook(const QString &folder, const QString &fileName, bool move)
{
    if (fileName.isEmpty())
        return;
    const QString source = folder.endsWith(u'/') ? folder + fileName : folder + u'/' + fileName;
    const QString target = g.BookFolder + u'/' + g.ShelfName + u'/' + fileName;
    // The picker shows the shelf's own folder: the file is already where it would go.
    if (g.FileSys.sameFile(source, target))
        return;
    bool overwrite = false;
    if (g.FileSys.FileExists(target)) {
        if (g.prompter->message(QStringLiteral("File Exists"),
                                QStringLiteral("File Exists. Do you wish to overwrite?"),
                                Prompter::Buttons::OkCancel)
            != Prompter::Answer::Ok)
            return;
        overwrite = true;
    }
    const FsResult result = move ? g.FileSys.MoveFile(source, target, overwrite)
                                 : g.FileSys.CopyFile(source, target, overwrite);
    if (!result)
        report(move ? QStringLiteral("Cannot Move Book") : QStringLiteral("Cannot Copy Book"),
               QStringLiteral("'%1' could not be %2 to the shelf %3.")
                   .arg(fileName, move ? QStringLiteral("moved") : QStringLiteral("copied"),
                        g.ShelfName),
               result.error);
    m_shelf.FillShelves();
    if (isDisplayedShelf()) {
        m_shelf.CreateBooks(m_shelf.SelectedShelf);
        m_shelf.FillBooks();
    }
}
