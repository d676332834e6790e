#include "bench.h"

void listingGroup(Bench &b)
{
    // Listing a shelf as the user sees it: its books read and the first page drawn. The big,
    // the tenth and the small shelf stand in the first three slots.
    auto listShelf = [](Bookcase &m, int slot) { m.chooseShelf(slot); };
    const int reps = b.reps, bigBooks = b.bigBooks, manyShelves = b.manyShelves;
    const QString large = b.large(), typical = b.typical();
    GlobalState g;
    openLibrary(g, b, large);
    Bookcase model(g);
    frmShelf w(model);
    w.Form_Load();
    w.show();
    const QByteArray bigPath = b.bigShelf();
    b.compare(
        QStringLiteral("P1"), QStringLiteral("CreateBooks + FillBooks, %1 books").arg(bigBooks),
        3.0, reps, [&] { listShelf(model, 0); }, [&] { rawList(bigPath, false); },
        QStringLiteral("readdir and std::sort of the same folder"));

    GlobalState gt;
    openLibrary(gt, b, typical);
    Bookcase mt(gt);
    frmShelf wt(mt);
    const QByteArray typicalPath = QFile::encodeName(typical);
    b.compare(
        QStringLiteral("P2"),
        QStringLiteral("CreateShelves + FillShelves, %1 shelves").arg(manyShelves), 3.0, reps,
        [&] { mt.reloadShelves(); }, [&] { rawList(typicalPath, true); },
        QStringLiteral("readdir and std::sort of the same folder"));

    b.compare(
        QStringLiteral("P3"),
        QStringLiteral("CreateBooks + FillBooks, %1 books against %2")
            .arg(bigBooks)
            .arg(bigBooks / 10),
        12.0, reps, [&] { listShelf(model, 0); }, [&] { listShelf(model, 1); },
        QStringLiteral("the same on a shelf a tenth as large"));

    // One scroll step: the position moves by one row and the page is drawn again.
    listShelf(model, 0);
    Bookcase smallModel(g);
    frmShelf small(smallModel);
    small.Form_Load();
    listShelf(smallModel, 2);
    auto scroll = [](Bookcase &m) {
        m.scrollBooks(m.bookPosition() >= m.pager(Grid::Books).maximum() ? 1
                                                                         : m.bookPosition() + 1);
    };
    b.compare(
        QStringLiteral("P4"), QStringLiteral("one scroll step, %1 books against 100").arg(bigBooks),
        1.5, reps * 20, [&] { scroll(model); }, [&] { scroll(smallModel); },
        QStringLiteral("the same on a shelf of 100 books"));

    GlobalState gm;
    openLibrary(gm, b, large);
    GlobalState gf = gm;
    Bookcase mm(gm), mf(gf);
    frmShelf wm(mm), wf(mf);
    for (Bookcase *m : {&mm, &mf}) {
        m->reloadShelves();
        m->chooseShelf(2);
    }
    gm.Marks.setBytes(marksLine(b.manyMarks));
    gf.Marks.setBytes(marksLine(10));
    b.compare(
        QStringLiteral("P5"),
        QStringLiteral("FillBooks page, %1 marks against 10").arg(b.manyMarks), 1.5, reps * 20,
        [&] { mm.FillBooks(); }, [&] { mf.FillBooks(); },
        QStringLiteral("the same page with 10 marks"));
}
