// Finding items the way a user sees them.
.pragma library

function byName(item, name) {
    if (!item)
        return null
    if (item.objectName === name)
        return item
    const kids = item.children || []
    for (let i = 0; i < kids.length; ++i) {
        const found = byName(kids[i], name)
        if (found)
            return found
    }
    return null
}

function allByName(item, name, out) {
    out = out || []
    if (!item)
        return out
    if (item.objectName === name && item.visible)
        out.push(item)
    const kids = item.children || []
    for (let i = 0; i < kids.length; ++i)
        allByName(kids[i], name, out)
    return out
}

// A visible Text (or FitText) showing exactly `text`.
function text(item, wanted) {
    if (!item || !item.visible)
        return null
    if (item.text === wanted && item.opacity > 0)
        return item
    const kids = item.children || []
    for (let i = 0; i < kids.length; ++i) {
        const found = text(kids[i], wanted)
        if (found)
            return found
    }
    return null
}

// Every visible text under `item`, for failure messages.
function texts(item, out) {
    out = out || []
    if (!item || !item.visible)
        return out
    if (typeof item.text === "string" && item.text.length > 0 && item.opacity > 0)
        out.push(item.text)
    const kids = item.children || []
    for (let i = 0; i < kids.length; ++i)
        texts(kids[i], out)
    return out
}
