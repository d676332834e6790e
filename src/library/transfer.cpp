#include "transfer.h"

#include "prompter.h"

TransferResult transferBook(const FileSys &fs, Prompter &prompter, const Transfer &t)
{
    if (fs.sameFile(t.source, t.target))
        return TransferResult::SameFile;
    bool overwrite = false;
    if (fs.FileExists(t.target)) {
        if (!prompter.agrees(QStringLiteral("File Exists"),
                             QStringLiteral("File Exists. Do you wish to overwrite?"),
                             Prompter::Buttons::OkCancel))
            return TransferResult::Declined;
        overwrite = true;
    }
    const FsResult result = t.move ? fs.MoveFile(t.source, t.target, overwrite)
                                   : fs.CopyFile(t.source, t.target, overwrite);
    if (result)
        return TransferResult::Done;
    prompter.message(t.failureTitle, t.failureText + QStringLiteral("\r\n\r\n") + result.error);
    return TransferResult::Failed;
}
