#include "result_tree.h"

#include <cmath>
#include <cstdio>

namespace {
std::string number(double v, bool json) {
    if (std::isnan(v)) return json ? "null" : ".nan";
    if (std::isinf(v)) return json ? "null" : (v > 0 ? ".inf" : "-.inf");
    if (v == 0) return "0";  // no "-0"
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

bool isFlatList(const TreeNode& n) {
    if (n.kind != TreeNode::kList) return false;
    for (const TreeNode& i : n.items)
        if (i.kind == TreeNode::kList || i.kind == TreeNode::kMap) return false;
    return true;
}

// Scalars and lists of scalars fit on one line, in flow style.
std::string inline_(const TreeNode& n, bool json) {
    switch (n.kind) {
        case TreeNode::kNumber:
            return number(n.number, json);
        case TreeNode::kText:
            return quoted(n.text);
        default: {
            std::string s = "[";
            for (std::size_t i = 0; i < n.items.size(); ++i)
                s += (i ? ", " : "") + inline_(n.items[i], json);
            return s + "]";
        }
    }
}

void json(const TreeNode& n, const std::string& indent, std::string* out) {
    if (n.kind != TreeNode::kMap && (n.kind != TreeNode::kList || isFlatList(n))) {
        *out += inline_(n, true);
        return;
    }
    const std::string inner = indent + "  ";
    const bool map = n.kind == TreeNode::kMap;
    *out += map ? "{\n" : "[\n";
    const std::size_t count = map ? n.fields.size() : n.items.size();
    for (std::size_t i = 0; i < count; ++i) {
        *out += inner;
        if (map) *out += quoted(n.fields[i].first) + ": ";
        json(map ? n.fields[i].second : n.items[i], inner, out);
        *out += i + 1 < count ? ",\n" : "\n";
    }
    *out += indent + (map ? "}" : "]");
}

void yaml(const TreeNode& n, const std::string& indent, std::string* out) {
    if (n.kind == TreeNode::kMap) {
        for (const auto& [key, value] : n.fields) {
            *out += indent + key + ":";
            if (value.kind == TreeNode::kMap ||
                (value.kind == TreeNode::kList && !isFlatList(value))) {
                *out += "\n";
                yaml(value, indent + "  ", out);
            } else {
                *out += " " + inline_(value, false) + "\n";
            }
        }
        return;
    }
    for (const TreeNode& item : n.items) {
        if (item.kind == TreeNode::kMap) {
            // "- key: value" then the other keys under it.
            std::string block;
            yaml(item, indent + "  ", &block);
            *out += indent + "- " + block.substr(indent.size() + 2);
        } else if (item.kind == TreeNode::kList && !isFlatList(item)) {
            *out += indent + "-\n";
            yaml(item, indent + "  ", out);
        } else {
            *out += indent + "- " + inline_(item, false) + "\n";
        }
    }
}
}  // namespace

TreeNode& TreeNode::add(const std::string& key, TreeNode value) {
    fields.emplace_back(key, std::move(value));
    return fields.back().second;
}

TreeNode numberNode(double v) {
    TreeNode n;
    n.kind = TreeNode::kNumber;
    n.number = v;
    return n;
}

TreeNode textNode(const std::string& s) {
    TreeNode n;
    n.kind = TreeNode::kText;
    n.text = s;
    return n;
}

TreeNode listNode(const std::vector<double>& values) {
    TreeNode n;
    n.kind = TreeNode::kList;
    for (double v : values) n.items.push_back(numberNode(v));
    return n;
}

TreeNode listNode(const std::vector<int>& values) {
    TreeNode n;
    n.kind = TreeNode::kList;
    for (int v : values) n.items.push_back(numberNode(v));
    return n;
}

TreeNode matrixNode(const cv::Mat& m) {
    cv::Mat d;
    m.convertTo(d, CV_64F);
    d = d.reshape(1, m.rows);
    if (d.rows == 1 || d.cols == 1)
        return listNode(std::vector<double>(d.begin<double>(), d.end<double>()));
    TreeNode rows;
    rows.kind = TreeNode::kList;
    for (int r = 0; r < d.rows; ++r)
        rows.items.push_back(
            listNode(std::vector<double>(d.ptr<double>(r), d.ptr<double>(r) + d.cols)));
    return rows;
}

std::string toJson(const TreeNode& root) {
    std::string out;
    json(root, "", &out);
    return out + "\n";
}

std::string toPlainYaml(const TreeNode& root) {
    std::string out = "# plain YAML (no tags): the same values as calibration.json\n";
    yaml(root, "", &out);
    return out;
}
