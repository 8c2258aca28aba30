#include "uExportDialog.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>

#include "uTraceExport.h"
#include "uTraceResolution.h"

namespace tavrin {
namespace {

struct TFilter {
    TTraceFormat Format;
    const char* Text;
};
constexpr TFilter kFilters[] = {
    {TTraceFormat::Zma, "ZMA impedance curve (*.zma)"},
    {TTraceFormat::Frd, "FRD frequency response (*.frd)"},
    {TTraceFormat::Csv, "CSV table (*.csv)"},
    {TTraceFormat::Touchstone, "Touchstone one-port (*.s1p)"},
};

}  // namespace

std::string ExportPathFor(std::string path, TTraceKind kind, const std::string& chosenExtension) {
    const std::optional<TTraceFormat> named = TraceFormatOfPath(path);
    if (named && TraceFormatSuits(*named, kind)) {
        return path;
    }
    return path + chosenExtension;
}

std::optional<TExportChoice> AskExportFile(QWidget* parent, TTraceKind kind,
                                           const TExportChoice& last) {
    QFileDialog dialog(parent, "Export the curve");
    // Qt's own dialog, so that the resolution can sit in it.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    QStringList filters;
    std::vector<TTraceFormat> formats;
    for (const TFilter& filter : kFilters) {
        if (TraceFormatSuits(filter.Format, kind)) {
            filters << filter.Text;
            formats.push_back(filter.Format);
        }
    }
    dialog.setNameFilters(filters);
    if (last.Path.empty()) {
        dialog.setDirectory(QDir::homePath());
    } else {
        dialog.selectFile(QString::fromStdString(last.Path));
        if (const auto format = TraceFormatOfPath(last.Path)) {
            for (size_t i = 0; i < formats.size(); ++i) {
                if (formats[i] == *format) {
                    dialog.selectNameFilter(filters[static_cast<qsizetype>(i)]);
                }
            }
        }
    }

    auto* resolution = new QComboBox(&dialog);
    resolution->setObjectName("cbResolution");
    resolution->addItem("Every bin", 0);
    for (const int32_t ppo : kPointsPerOctaveChoices) {
        resolution->addItem(QString("%1 points per octave").arg(ppo), ppo);
    }
    resolution->setCurrentIndex(std::max(0, resolution->findData(last.PointsPerOctave)));
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
        const int row = grid->rowCount();
        grid->addWidget(new QLabel("Resolution:", &dialog), row, 0);
        grid->addWidget(resolution, row, 1);
    }

    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const qsizetype chosen = std::max<qsizetype>(0, filters.indexOf(dialog.selectedNameFilter()));
    const std::string extension(TraceFormatExtension(formats[static_cast<size_t>(chosen)]));
    return TExportChoice{
        ExportPathFor(dialog.selectedFiles().first().toStdString(), kind, extension),
        resolution->currentData().toInt()};
}

}  // namespace tavrin
