// Run while building: writes dlib's frontal-face detector as plain C++ arrays, its filters
// already split into separable row and column parts. dlib's own copy is a compressed, base64
// text that takes a program hundreds of milliseconds to unpack and split; ours is there at once.
// Usage: quorvel_face_model OUT.inc

#include <dlib/image_processing/frontal_face_detector.h>

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace {

using CDetector = dlib::frontal_face_detector;
using CScanner = CDetector::image_scanner_type;
// FaceDetector.cpp scans with this type; a dlib whose detector is another would not fit it.
static_assert(std::is_same_v<CScanner, dlib::scan_fhog_pyramid<dlib::pyramid_down<6>>>);

// Floats and doubles printed so that the compiler reads back exactly the same values.
void Floats(std::string &out, const dlib::matrix<float> &values)
{
    char text[32];
    for (long i = 0; i < values.size(); ++i) {
        std::snprintf(text, sizeof text, "%.9gf,", double(values(i)));
        out += text;
        out += (i + 1) % 8 == 0 ? "\n" : " ";
    }
    if (values.size() % 8 != 0)
        out += "\n";
}

std::string Double(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string Number(unsigned long value)
{
    return std::to_string(value);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: quorvel_face_model OUT.inc\n");
        return 2;
    }
    try {
        const CDetector detector = dlib::get_frontal_face_detector();
        const CScanner &scanner = detector.get_scanner();
        std::vector<CScanner::fhog_filterbank> banks;
        for (unsigned long i = 0; i < detector.num_detectors(); ++i)
            banks.push_back(scanner.build_fhog_filterbank(detector.get_w(i)));
        const unsigned long planes = banks.at(0).filters.size();
        const unsigned long rows = scanner.get_fhog_window_height();
        const unsigned long columns = scanner.get_fhog_window_width();

        std::string out = "// Written by quorvel_face_model from dlib's frontal-face detector.\n\n";
        out += "inline constexpr unsigned long kModelCellSize = " + Number(scanner.get_cell_size()) + ";\n";
        out += "inline constexpr unsigned long kModelPadding = " + Number(scanner.get_padding()) + ";\n";
        out += "inline constexpr unsigned long kModelWindowWidth = "
               + Number(scanner.get_detection_window_width()) + ";\n";
        out += "inline constexpr unsigned long kModelWindowHeight = "
               + Number(scanner.get_detection_window_height()) + ";\n";
        out += "inline constexpr unsigned long kModelMinLevelWidth = "
               + Number(scanner.get_min_pyramid_layer_width()) + ";\n";
        out += "inline constexpr unsigned long kModelMinLevelHeight = "
               + Number(scanner.get_min_pyramid_layer_height()) + ";\n";
        out += "inline constexpr unsigned long kModelMaxLevels = " + Number(scanner.get_max_pyramid_levels()) + ";\n";
        out += "inline constexpr double kModelOverlapIou = "
               + Double(detector.get_overlap_tester().get_iou_thresh()) + ";\n";
        out += "inline constexpr double kModelOverlapCovered = "
               + Double(detector.get_overlap_tester().get_percent_covered_thresh()) + ";\n";
        out += "inline constexpr unsigned long kModelDetectors = " + Number(banks.size()) + ";\n";
        out += "inline constexpr unsigned long kModelPlanes = " + Number(planes) + ";\n";
        out += "inline constexpr unsigned long kModelFilterRows = " + Number(rows) + ";\n";
        out += "inline constexpr unsigned long kModelFilterColumns = " + Number(columns) + ";\n\n";

        // Each detector's threshold: the last weight, which its scores are measured against.
        out += "inline constexpr double kModelThresholds[kModelDetectors] = {";
        for (unsigned long i = 0; i < banks.size(); ++i)
            out += (i ? ", " : "") + Double(detector.get_w(i)(scanner.get_num_dimensions()));
        out += "};\n\n";

        // Every plane's whole filter, rows packed, detector by detector.
        out += "inline constexpr float kModelFilters[] = {\n";
        for (const CScanner::fhog_filterbank &bank : banks) {
            if (bank.filters.size() != planes)
                throw std::runtime_error("the detectors have different numbers of planes");
            for (const dlib::matrix<float> &filter : bank.filters) {
                if (filter.nr() != long(rows) || filter.nc() != long(columns))
                    throw std::runtime_error("a filter is not the scanner's window");
                Floats(out, filter);
            }
        }
        out += "};\n\n";

        // How many separable parts each plane has, then the parts: a row filter and a column
        // filter each, in the same order.
        std::string counts = "inline constexpr unsigned char kModelSeparableParts[] = {\n";
        std::string rowParts = "inline constexpr float kModelRowParts[] = {\n";
        std::string columnParts = "inline constexpr float kModelColumnParts[] = {\n";
        for (const CScanner::fhog_filterbank &bank : banks) {
            for (unsigned long plane = 0; plane < planes; ++plane) {
                const auto &rowFilters = bank.row_filters[plane];
                const auto &columnFilters = bank.col_filters[plane];
                if (rowFilters.size() != columnFilters.size() || rowFilters.size() > 255)
                    throw std::runtime_error("a plane's separable parts do not pair up");
                counts += Number(rowFilters.size()) + (plane + 1 == planes ? ",\n" : ", ");
                for (std::size_t part = 0; part < rowFilters.size(); ++part) {
                    if (rowFilters[part].size() != long(columns) || columnFilters[part].size() != long(rows))
                        throw std::runtime_error("a separable part is not the window's size");
                    Floats(rowParts, dlib::matrix<float>(rowFilters[part]));
                    Floats(columnParts, dlib::matrix<float>(columnFilters[part]));
                }
            }
        }
        out += counts + "};\n\n" + rowParts + "};\n\n" + columnParts + "};\n";

        const std::string partial = std::string(argv[1]) + ".part";
        std::FILE *file = std::fopen(partial.c_str(), "wb");
        if (!file)
            throw std::runtime_error("cannot write " + partial);
        const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
        if (std::fclose(file) != 0 || !written || std::rename(partial.c_str(), argv[1]) != 0)
            throw std::runtime_error("cannot write " + std::string(argv[1]));
    } catch (const std::exception &e) {
        std::fprintf(stderr, "quorvel_face_model: %s\n", e.what());
        return 1;
    }
    return 0;
}
