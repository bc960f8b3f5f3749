#include "grids/class_operations.h"

namespace quadrel {

namespace {

void copyAttributes(TCellIdList& to, const TCellIdList& from) {
    to.setCreationTime(from.creationTime());
    to.setColour(from.colour());
    to.setShown(from.shown());
}

void appendUnion(TCellIdList& result, const TCellIdList& list) {
    for (const TCellId& id : list.ids())
        result.add(id);
}

} // namespace

const char* classOperationName(ClassOperation op) {
    switch (op) {
    case ClassOperation::Union:
        return "_union_";
    case ClassOperation::Intersect:
        return "_intersect_";
    case ClassOperation::Complement:
        return "_complement_";
    case ClassOperation::Difference:
        return "_difference_";
    case ClassOperation::Xor:
        return "_xor_";
    }
    return "";
}

std::unique_ptr<TCellIdList> combineClasses(ClassOperation op,
                                            const std::vector<std::shared_ptr<TCellIdList>>& selected,
                                            const std::shared_ptr<TCellIdList>& focus) {
    auto result = std::make_unique<TCellIdList>("");
    if (op == ClassOperation::Union) {
        for (const auto& c : selected)
            if (c) appendUnion(*result, *c);
        result->setName(classOperationName(op));
        return result;
    }
    if (!focus) return nullptr;

    std::vector<std::shared_ptr<TCellIdList>> others;
    bool skipped = false;
    for (const auto& c : selected) {
        if (!c) continue;
        if (!skipped && c->name() == focus->name()) {
            skipped = true;
            continue;
        }
        others.push_back(c);
    }
    const TCellIdList& lastAttributes = others.empty() ? *focus : *others.back();

    switch (op) {
    case ClassOperation::Intersect: {
        TCellIdList running(*focus);
        for (const auto& o : others) {
            TCellIdList next("");
            for (const TCellId& id : running.ids())
                if (o->contains(id.label)) next.add(id);
            running = next;
        }
        for (const TCellId& id : running.ids())
            result->add(id);
        copyAttributes(*result, lastAttributes);
        break;
    }
    case ClassOperation::Xor: {
        TCellIdList running(*focus);
        for (const auto& o : others) {
            TCellIdList next("");
            for (const TCellId& id : running.ids())
                if (!o->contains(id.label)) next.add(id);
            for (const TCellId& id : o->ids())
                if (!running.contains(id.label)) next.add(id);
            running = next;
        }
        for (const TCellId& id : running.ids())
            result->add(id);
        copyAttributes(*result, lastAttributes);
        break;
    }
    case ClassOperation::Complement: {
        TCellIdList unionOfOthers("");
        for (const auto& o : others)
            appendUnion(unionOfOthers, *o);
        for (const TCellId& id : unionOfOthers.ids())
            if (!focus->contains(id.label)) result->add(id);
        break;
    }
    case ClassOperation::Difference: {
        TCellIdList unionOfOthers("");
        for (const auto& o : others)
            appendUnion(unionOfOthers, *o);
        for (const TCellId& id : focus->ids())
            if (!unionOfOthers.contains(id.label)) result->add(id);
        copyAttributes(*result, *focus);
        break;
    }
    case ClassOperation::Union:
        break;
    }
    result->setName(classOperationName(op));
    return result;
}

} // namespace quadrel
