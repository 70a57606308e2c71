// Results as a tree of maps, lists, numbers and texts, written as JSON and as plain YAML
// (block style, no tags): both readable by any JSON or YAML reader, numbers at full
// precision (17 significant digits).
#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <utility>
#include <vector>

struct TreeNode {
    enum Kind { kNumber, kText, kList, kMap } kind = kMap;
    double number = 0;
    std::string text;
    std::vector<TreeNode> items;                           // kList
    std::vector<std::pair<std::string, TreeNode>> fields;  // kMap, in order

    TreeNode& add(const std::string& key, TreeNode value);
};

TreeNode numberNode(double v);
TreeNode textNode(const std::string& s);
TreeNode listNode(const std::vector<double>& values);
TreeNode listNode(const std::vector<int>& values);
// A matrix as a list of its rows (a row or column vector as a flat list).
TreeNode matrixNode(const cv::Mat& m);

std::string toJson(const TreeNode& root);
std::string toPlainYaml(const TreeNode& root);
