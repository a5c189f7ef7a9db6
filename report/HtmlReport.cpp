#include "report/HtmlReport.h"

#include "core/Columns.h"
#include "io/FileReplace.h"
#include "io/Paths.h"


namespace {

// The document head and its style sheet, line by line.
const char* const kHeadLines[] = {
    "<STYLE TYPE=\"text/css\" MEDIA=\"screen\">",
    "<!--",
    "body",
    "\t{",
    "\tmargin: 15px 10px 15px 10px;",
    "\tpadding: 0px 0px 0px 0px;",
    "\tbackground: #ffffff;",
    "\tcolor: #000000;",
    "\tfont-family: Verdana, Arial, Helvetica, sans-serif;",
    "\tfont-size: 70%;",
    "\twidth: 100%;",
    "\t}",
    "table",
    "\t{",
    "\tmargin-top: .6em;",
    "\tmargin-bottom: .3em;",
    "        font-size: 100%;",
    "\tbackground-color: #ffffff;",
    "\tborder-width: 1px 1px 0px 0px;",
    "\tborder-style: solid;",
    "\tborder-color: #999999;",
    "\t}",
    "th, td",
    "\t{",
    "\tborder-style: solid;",
    "\tborder-width: 0px 0px 1px 1px;",
    "\tborder-style: solid;",
    "\tborder-color: #999999;",
    "\tpadding: 4px 6px;",
    "\t}",
    "th",
    "\t{",
    "\tbackground: #E5E5E5;",
    "\tvertical-align: bottom;",
    "\t}",
    "td",
    "\t{",
    "\tvertical-align: top;",
    "\t}",
    "-->",
    "</STYLE>",
    "</head>",
    "<body>",
};

constexpr const char* kTableOpen = "<table border=\"1\" cellspacing=\"0\" align=\"center\">";

std::string CenteredCell(const std::string& text) { return "<td align=\"center\">" + text + "</td>"; }

std::string CellOrSpace(const std::string& text) { return text.empty() ? "&nbsp;" : HtmlEscape(text); }

void AppendUtf16LE(std::string& out, char32_t cp) {
    auto unit = [&out](uint32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>((u >> 8) & 0xFF);
    };
    if (cp >= 0x10000) {
        cp -= 0x10000;
        unit(0xD800 + (cp >> 10));
        unit(0xDC00 + (cp & 0x3FF));
    } else {
        unit(cp);
    }
}

// UTF-8 to UTF-16LE; a malformed sequence becomes U+FFFD.
void AppendUtf8AsUtf16LE(std::string& out, const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char lead = p[i];
        std::size_t length = 0;
        char32_t cp = 0;
        if (lead < 0x80) {
            length = 1;
            cp = lead;
        } else if (lead >= 0xC2 && lead < 0xE0) {
            length = 2;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead < 0xF0) {
            length = 3;
            cp = lead & 0x0F;
        } else if (lead >= 0xF0 && lead < 0xF5) {
            length = 4;
            cp = lead & 0x07;
        }
        bool ok = length > 0 && i + length <= n;
        for (std::size_t k = 1; ok && k < length; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) ok = false;
            else cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (ok && ((length == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
                   (length == 4 && (cp < 0x10000 || cp > 0x10FFFF))))
            ok = false;
        if (!ok) {
            AppendUtf16LE(out, 0xFFFD);
            ++i;
            continue;
        }
        AppendUtf16LE(out, cp);
        i += length;
    }
}

} // namespace

std::string HtmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string ItemDetailsText(const TAudioItem& item) {
    std::string text;
    const auto add = [&text](const std::string& part) { text += (text.empty() ? "" : " ") + part + "."; };
    if (!item.EncoderEvidence.empty()) add("Encoder evidence: " + item.EncoderEvidence);
    if (!item.EncoderSettings.empty()) add("Settings: " + item.EncoderSettings);
    if (item.DurationSamples > 0) add("Exact length: " + std::to_string(item.DurationSamples) + " samples");
    return text;
}

std::vector<std::string> HtmlReportLines(const TReportInput& input) {
    const std::string folder = HtmlEscape(input.Folder);
    std::vector<std::string> lines;
    lines.reserve(80 + input.Rows.size() * (input.Columns.size() + 2));
    lines.push_back("<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">");
    lines.push_back("<html>");
    lines.push_back("<head>");
    lines.push_back("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=iso-8859-1\">");
    lines.push_back("<title>Sondaro - " + folder + "</title>");
    for (const char* line : kHeadLines) lines.push_back(line);

    // Summary: the totals as the status bar shows them.
    const TAnalysisTotals& totals = input.Totals;
    lines.push_back(kTableOpen);
    lines.push_back("<tr>");
    lines.push_back("<th>Folder</th>");
    lines.push_back("<th>Size</th>");
    lines.push_back("<th>File Count</th>");
    lines.push_back("<th>Duration</th>");
    lines.push_back("<th>Average Bitrate</th>");
    lines.push_back("</tr>");
    lines.push_back("<tr>");
    lines.push_back(CenteredCell(folder));
    lines.push_back(CenteredCell(SizeText(totals.TotalSize)));
    lines.push_back(CenteredCell(std::to_string(input.Rows.size())));
    lines.push_back(CenteredCell(DurationText(WholeSeconds(totals.TotalDuration))));
    lines.push_back(CenteredCell(std::to_string(totals.AverageBitRate) + "/" +
                                 std::to_string(totals.BitRateDurationSum) + " kbps"));
    lines.push_back("</tr>");
    lines.push_back("</table>");
    lines.push_back("<br>");

    // The rows, with the shown columns in display order.
    lines.push_back(kTableOpen);
    lines.push_back("<tr>");
    for (const TReportColumn& column : input.Columns)
        lines.push_back("<th  width = " + std::to_string(column.Width) + ">" + CellOrSpace(column.Caption) + "</th>");
    lines.push_back("</tr>");
    for (std::size_t r = 0; r < input.Rows.size(); ++r) {
        const std::vector<std::string>* row = input.Rows[r];
        const std::string details = r < input.Items.size() && input.Items[r] ? ItemDetailsText(*input.Items[r]) : "";
        lines.push_back(details.empty() ? "<tr>" : "<tr title=\"" + HtmlEscape(details) + "\">");
        for (std::size_t c = 0; c < input.Columns.size(); ++c) {
            const std::string text = row && c < row->size() ? (*row)[c] : std::string();
            lines.push_back("<td " + std::to_string(input.Columns[c].Width) + ">" + CellOrSpace(text) + "</td>");
        }
        lines.push_back("</tr>");
    }
    lines.push_back("</table>");
    lines.push_back("</body>");
    lines.push_back("</html>");
    return lines;
}

std::string EncodeReport(const std::vector<std::string>& lines) {
    std::string out = "\xFF\xFE";
    for (const std::string& line : lines) {
        AppendUtf8AsUtf16LE(out, line);
        out.append("\r\0\n\0", 4);
    }
    return out;
}

std::string ReportPath(const std::string& folder) { return WithTrailingSeparator(folder) + kReportFileName; }

std::string WriteHtmlReport(const TReportInput& input, const std::string& destination) {
    const std::string path = destination.empty() ? ReportPath(input.Folder) : destination;
    ReplaceFileContents(path, EncodeReport(HtmlReportLines(input)));
    return path;
}
