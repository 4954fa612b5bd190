#include "node/LineProtocol.h"

namespace corvaline::node {

std::string formatLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            line += '\t';
        }
        for (char c : fields[i]) {
            switch (c) {
                case '\t':
                    line += "\\t";
                    break;
                case '\n':
                    line += "\\n";
                    break;
                case '\\':
                    line += "\\\\";
                    break;
                default:
                    line += c;
            }
        }
    }
    return line;
}

std::vector<std::string> parseLine(std::string_view line) {
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\' && i + 1 < line.size() &&
                   (line[i + 1] == 't' || line[i + 1] == 'n' || line[i + 1] == '\\')) {
            char escaped = line[++i];
            fields.back() += escaped == 't' ? '\t' : escaped == 'n' ? '\n' : '\\';
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

}  // namespace corvaline::node
