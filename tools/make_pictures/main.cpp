// make_pictures <output folder>
//
// Draws every picture of the figure view into <output folder>/shared_pictures/
// and lists them in <output folder>/pictures.qrc under the prefix
// "/skelwright/resources", so that rcc compiles them into the picture tree
// ":/skelwright/resources/shared_pictures/". The names come from the figure
// layout (parts with all twelve state suffixes, the status light and go-to
// arrows with the four element states, the return arrow in state 0, the
// inversion toggles and the page backgrounds) and from the shape table
// (bubbles, toolbar buttons). The output is the same, byte for byte, on every
// run; nothing is drawn as text, so no fonts are needed.
#include "drawing.h"
#include "shape_table.h"

#include "ui/schematic_layout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>
#include <QSet>
#include <QStringList>

#include <cstdio>

namespace {

class PictureWriter {
public:
    explicit PictureWriter(const QString& folder) : folder_(folder) { }

    bool Has(const QString& name) const { return written_.contains(name); }

    // Draws the picture unless it is already there; false on failure.
    template <typename Draw>
    bool Write(const QString& name, const ShapeRow& row, bool mirrored, Draw draw)
    {
        if (Has(name))
            return true;
        QImage image = draw(row);
        if (mirrored)
            image = image.mirrored(true, false);
        const QString path = folder_ + QStringLiteral("/shared_pictures/") + name;
        if (!QDir().mkpath(QFileInfo(path).path()) || !image.save(path, "PNG"))
            return Fail(QStringLiteral("cannot write ") + path);
        written_.insert(name);
        names_.append(name);
        return true;
    }

    // The resource list, written last: its presence marks a complete run.
    bool WriteList()
    {
        names_.sort();
        QByteArray text = "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n    <qresource prefix=\"/skelwright/resources\">\n";
        for (const QString& name : names_)
            text += "        <file>shared_pictures/" + name.toUtf8() + "</file>\n";
        text += "    </qresource>\n</RCC>\n";
        QSaveFile file(folder_ + QStringLiteral("/pictures.qrc"));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
            return Fail(QStringLiteral("cannot write the resource list"));
        std::printf("make_pictures: %d pictures\n", int(names_.size()));
        return true;
    }

    static bool Fail(const QString& message)
    {
        std::fprintf(stderr, "make_pictures: %s\n", qPrintable(message));
        return false;
    }

private:
    QString folder_;
    QSet<QString> written_;
    QStringList names_;
};

const ShapeRow* Shape(const QString& name, bool* mirrored)
{
    const ShapeRow* row = FindShape(name, mirrored);
    if (!row)
        PictureWriter::Fail(QStringLiteral("no shape for ") + name);
    return row;
}

// A picture for each of the given state keys of a prefix.
bool WriteStates(PictureWriter& writer, const QString& prefix, int keyCount)
{
    bool mirrored = false;
    const ShapeRow* row = Shape(prefix, &mirrored);
    if (!row)
        return false;
    const StateRepresentation& states = SchematicLayout::Instance().GetStates();
    for (int key = 0; key < keyCount; ++key) {
        const auto draw = [key](const ShapeRow& shape) {
            return IsBone(shape.kind) ? DrawBone(shape, key) : DrawSingle(shape, key);
        };
        if (!writer.Write(prefix + states.GetSuffix(key), *row, mirrored, draw))
            return false;
    }
    return true;
}

bool WriteSingle(PictureWriter& writer, const QString& name)
{
    bool mirrored = false;
    const ShapeRow* row = Shape(name, &mirrored);
    return row && writer.Write(name, *row, mirrored, [](const ShapeRow& shape) { return DrawSingle(shape, 0); });
}

bool WriteBackground(PictureWriter& writer, const SchematicPageDef& page)
{
    bool mirrored = false;
    const ShapeRow* row = Shape(page.GetBasePicture(), &mirrored);
    if (!row)
        return false;
    // A mirrored background is drawn from the page it mirrors.
    const SchematicPageDef* source = &page;
    for (const SchematicPageDef* other : SchematicLayout::Instance().GetPages())
        if (other->GetBasePicture() == QLatin1String(row->name))
            source = other;
    return writer.Write(page.GetBasePicture(), *row, mirrored,
                        [source](const ShapeRow& shape) { return DrawBackground(shape, *source); });
}

bool WriteAll(PictureWriter& writer)
{
    const SchematicLayout& layout = SchematicLayout::Instance();
    const int elementStates = kPartError + 1;
    if (!WriteStates(writer, layout.GetStatus().GetPicturePrefix(), elementStates))
        return false;
    for (const SchematicPageDef* page : layout.GetPages()) {
        if (!WriteBackground(writer, *page))
            return false;
        for (const SchematicItemDef* part : page->GetParts())
            if (!WriteStates(writer, part->GetPicturePrefix(), kPartStateCount))
                return false;
        // Return arrows have no picture over them and stay in state 0.
        for (const SchematicItemDef* arrow : page->GetArrows())
            if (!WriteStates(writer, arrow->GetPicturePrefix(), arrow->GetPicture().isEmpty() ? 1 : elementStates))
                return false;
        for (const SchematicInversionDef* toggle : page->GetInversions())
            if (!WriteSingle(writer, toggle->GetNormalPicture()) || !WriteSingle(writer, toggle->GetInvertedPicture()))
                return false;
    }
    int count = 0;
    const ShapeRow* rows = ShapeRows(&count);
    for (int i = 0; i < count; ++i)
        if (IsStandalone(rows[i].kind) && !WriteSingle(writer, QString::fromLatin1(rows[i].name)))
            return false;
    // The picture drawn over each go-to arrow is one of its state pictures.
    for (const SchematicPageDef* page : layout.GetPages())
        for (const SchematicItemDef* arrow : page->GetArrows())
            if (!arrow->GetPicture().isEmpty() && !writer.Has(arrow->GetPicture()))
                return PictureWriter::Fail(QStringLiteral("no picture ") + arrow->GetPicture());
    return writer.WriteList();
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_pictures <output folder>\n");
        return 2;
    }
    PictureWriter writer(QFile::decodeName(argv[1]));
    return WriteAll(writer) ? 0 : 1;
}
