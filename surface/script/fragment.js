    // ---- the range a fragment replaces ----------------------------------------

    // Something the reader sees: a character other than collapsible white
    // space, or an object such as a picture or a line break.
    function showsSomething(n, r) {
        if (n.nodeType === Node.TEXT_NODE) {
            const from = n === r.startContainer ? r.startOffset : 0;
            const to = n === r.endContainer ? r.endOffset : n.data.length;
            return /[^ \t\n\r\f]/.test(n.data.slice(from, to));
        }
        return n.nodeType === Node.ELEMENT_NODE && (CONTROL_TAGS.has(n.tagName) || n.tagName === 'BR');
    }

    function blockAround(n) {
        for (let el = elementOf(n); el && el !== document.body; el = el.parentElement)
            if (!getComputedStyle(el).display.startsWith('inline'))
                return el;
        return document.body;
    }

    function lastDescendant(n) {
        while (n.lastChild)
            n = n.lastChild;
        return n;
    }

    // A triple click selects a line up to the start of the next block;
    // replacing that range as it stands would pull the next block into this
    // one. An end that lies in another block than the nearest thing the range
    // shows is moved to that thing; only the blocks' boundaries are dropped.
    function shownRange(r) {
        if (r.collapsed || !document.body || !document.body.contains(r.commonAncestorContainer))
            return r;
        const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_ELEMENT | NodeFilter.SHOW_TEXT);
        const sc = r.startContainer, ec = r.endContainer;
        let first = null, last = null;
        let n = sc.nodeType === Node.TEXT_NODE || !sc.childNodes.length ? sc : sc.childNodes[r.startOffset];
        if (!n) {
            walker.currentNode = lastDescendant(sc);
            n = walker.nextNode();
        } else {
            walker.currentNode = n;
        }
        for (; n && r.comparePoint(n, 0) <= 0; n = walker.nextNode())
            if (r.intersectsNode(n) && showsSomething(n, r)) {
                first = n;
                break;
            }
        n = ec.nodeType === Node.TEXT_NODE || !ec.childNodes.length || !r.endOffset
            ? ec : lastDescendant(ec.childNodes[r.endOffset - 1]);
        walker.currentNode = n;
        for (; n && r.comparePoint(n, n.nodeType === Node.TEXT_NODE ? n.data.length : n.childNodes.length) >= 0;
             n = walker.previousNode())
            if (r.intersectsNode(n) && showsSomething(n, r)) {
                last = n;
                break;
            }
        if (!first || !last)
            return r;
        const out = r.cloneRange();
        if (blockAround(last) !== blockAround(ec)) {
            if (last.nodeType === Node.TEXT_NODE)
                out.setEnd(last, last === ec ? r.endOffset : last.data.length);
            else
                out.setEndAfter(last);
        }
        if (blockAround(first) !== blockAround(sc)) {
            if (first.nodeType === Node.TEXT_NODE)
                out.setStart(first, first === sc ? r.startOffset : 0);
            else
                out.setStartBefore(first);
        }
        return out;
    }

    function outermostAnchor(n) {
        let a = closest(elementOf(n), 'a');
        for (let up = a; up; up = up.parentElement ? up.parentElement.closest('a') : null)
            a = up;
        return a;
    }

    // Links do not nest: the parser takes an A inside an A apart on the next
    // load. A fragment with a link that lands inside an anchor (a named
    // target or a link) therefore splits that anchor around itself. The
    // anchor's name and id go with the part that keeps some of its text,
    // the part before the fragment first, so that a target stays on its text
    // and is never doubled; a part with nothing left goes, unless it is the
    // only one to carry the name.
    function aroundAnchors(r, html) {
        if (!/<a[\s>]/i.test(html))
            return null;
        const head = outermostAnchor(r.startContainer), tail = outermostAnchor(r.endContainer);
        if (!head && !tail)
            return null;
        const wide = r.cloneRange();
        const part = (a, atStart) => {
            const side = document.createRange();
            side.selectNodeContents(a);
            if (atStart)
                side.setEnd(r.startContainer, r.startOffset);
            else
                side.setStart(r.endContainer, r.endOffset);
            const copy = a.cloneNode(false);
            copy.appendChild(side.cloneContents());
            const shown = /[^ \t\n\r\f]/.test(copy.textContent) ||
                          !!copy.querySelector([...CONTROL_TAGS, 'BR'].join(','));
            return {copy: copy, shown: shown};
        };
        const before = head ? part(head, true) : null;
        const after = tail ? part(tail, false) : null;
        if (head)
            wide.setStartBefore(head);
        if (tail)
            wide.setEndAfter(tail);
        const named = (p) => p.copy.hasAttribute('name') || p.copy.hasAttribute('id');
        if (head && head === tail) {
            // One anchor, two parts: only one keeps the name.
            const plain = before.shown || !after.shown ? after : before;
            plain.copy.removeAttribute('name');
            plain.copy.removeAttribute('id');
        }
        const text = (p) => {
            if (!p || (!p.shown && !named(p)))
                return '';
            return p.copy.attributes.length ? p.copy.outerHTML : p.copy.innerHTML;
        };
        return {range: wide, html: text(before) + html + text(after)};
    }

    // Replacing all of a block's text leaves the engine's placeholder line
    // break at the block's end in a standards-mode page, after the fragment
    // that now fills the block. It shows nothing there, and the block was
    // not written with it: it goes, and again when a redo brings it back. A
    // break the fragment brings stays.
    const placeholders = new WeakSet();

    function dropIfPlaceholder(n) {
        if (n.nodeName === 'BR' && n.isConnected && !n.nextSibling && n.previousSibling &&
            n.previousSibling.nodeName !== 'BR' && blockAround(n) === n.parentElement) {
            placeholders.add(n);
            n.remove();
        }
    }

    function dropPlaceholderBreaks(html, records) {
        if (/<br[\s/>]/i.test(html))
            return;
        for (const r of records)
            for (const n of r.type === 'childList' ? r.addedNodes : [])
                dropIfPlaceholder(n);
        flushMutations();
    }

    document.addEventListener('input', (e) => {
        if (e.inputType !== 'historyRedo' || !document.body)
            return;
        for (const n of [...document.body.querySelectorAll('br')])
            if (placeholders.has(n))
                dropIfPlaceholder(n);
        flushMutations();
    }, true);

    qk.rangeText = function () {
        if (isControlSelected())
            return {ok: false, snap: snapshot()};
        const r = selectionRange();
        if (!r)
            return {ok: false, snap: snapshot()};
        qk.savedRange = shownRange(r);
        return {ok: true, text: qk.savedRange.toString(), snap: snapshot()};
    };

    qk.paste = function (html) {
        if (isControlSelected())
            return {ok: false, snap: snapshot()};
        const saved = qk.savedRange || selectionRange();
        if (!saved || !document.body)
            return {ok: false, snap: snapshot()};
        return pasteInto(shownRange(saved), html);
    };

    // The object selected as a whole, as the page holds it.
    qk.controlHTML = function () {
        if (!isControlSelected())
            return {ok: false, snap: snapshot()};
        return {ok: true, html: controlEl.outerHTML, snap: snapshot()};
    };

    // A fragment over a selected object takes the object's place: a picture
    // composed anew replaces the old one, a link made around it wraps it.
    qk.pasteOverControl = function (html) {
        if (!isControlSelected() || !document.body)
            return {ok: false, snap: snapshot()};
        const r = document.createRange();
        r.selectNode(controlEl);
        // A linked picture replaced by one without a link of its own keeps
        // its link: the engine would drop the anchor it empties.
        const a = controlEl.parentElement;
        if (!/<a[\s>]/i.test(html) && a && a.localName === 'a' &&
            [...a.childNodes].every((n) => n === controlEl ||
                                    (n.nodeType === Node.TEXT_NODE && !/[^ \t\n\r\f]/.test(n.data)))) {
            r.selectNode(a);
            const wrap = a.cloneNode(false);
            wrap.innerHTML = html;
            html = wrap.outerHTML;
        }
        controlEl = null;
        return pasteInto(r, html);
    };

    function pasteInto(r, html) {
        const split = html === '' ? null : aroundAnchors(r, html);
        if (split) {
            r = split.range;
            html = split.html;
        }
        restoreRange(r);
        let ok;
        if (html === '') {
            ok = r.collapsed ? true : document.execCommand('delete');
            flushMutations();
        } else {
            flushMutations();
            pasteRecords = [];
            try {
                ok = document.execCommand('insertHTML', false, html);
                flushMutations();
                if (ok)
                    dropPlaceholderBreaks(html, pasteRecords);
            } finally {
                const records = pasteRecords;
                pasteRecords = null;
                if (ok)
                    rememberFragment(html, records);
            }
        }
        qk.savedRange = null;
        return {ok: !!ok, snap: snapshot()};
    }

    // The caret goes where something was dropped (view coordinates).
    qk.caretAt = function (x, y) {
        const r = document.caretRangeFromPoint(x, y);
        if (!r || !document.body || !document.body.contains(r.startContainer) || isOurs(r.startContainer))
            return {ok: false, snap: snapshot()};
        controlEl = null;
        restoreRange(r);
        return {ok: true, snap: snapshot()};
    };

    qk.collapse = function (toStart) {
        const r = selectionRange();
        if (!r)
            return {ok: false, snap: snapshot()};
        r.collapse(!!toStart);
        restoreRange(r);
        controlEl = null;
        return {ok: true, snap: snapshot()};
    };

    qk.docProp = function (name) {
        return String(document[name] || '');
    };

    qk.setDocProp = function (name, value) {
        document[name] = value;
        flushMutations();
        return {ok: true, snap: snapshot()};
    };

    qk.setBodyAttr = function (name, value) {
        if (!document.body)
            return {ok: false, snap: snapshot()};
        document.body.setAttribute(name, value);
        flushMutations();
        return {ok: true, snap: snapshot()};
    };

    // The title is changed as typing would change it, so that the engine's
    // Undo takes it back in one step. The engine edits only what it lays
    // out: for that moment a style of ours shows the title, out of sight.
    let titleCaret = null; // where the caret was when the title changed
    qk.setTitle = function (text) {
        const title = [...document.getElementsByTagName('title')].find((t) => !isOurs(t));
        if (!title || !title.parentNode)
            return {ok: false, snap: snapshot()};
        const before = selectionRange();
        titleCaret = before ? before.cloneRange() : null;
        const shown = document.createElement('style');
        ours.add(shown);
        shown.textContent = 'html>head{display:block!important;position:absolute!important;' +
            'left:-100000px!important;top:0!important;width:1000px!important;overflow:hidden!important}' +
            'html>head>*{display:none!important}html>head>title{display:block!important}';
        let ok = false;
        withQuiet(() => document.documentElement.appendChild(shown));
        try {
            const r = document.createRange();
            r.selectNodeContents(title);
            restoreRange(r);
            ok = text === '' ? document.execCommand('delete') : document.execCommand('insertText', false, text);
            flushMutations();
        } finally {
            withQuiet(() => shown.remove());
            if (titleCaret)
                restoreRange(titleCaret.cloneRange());
        }
        return {ok: !!ok && title.textContent === text, snap: snapshot()};
    };

    // Undo and Redo of the title leave the caret in the page's head, where
    // nothing can be typed: it goes back to where it was.
    document.addEventListener('input', (e) => {
        if (e.inputType !== 'historyUndo' && e.inputType !== 'historyRedo')
            return;
        const r = selectionRange();
        if (!r || !document.head || !document.head.contains(r.startContainer))
            return;
        if (titleCaret && titleCaret.startContainer.isConnected)
            restoreRange(titleCaret.cloneRange());
        else if (document.body)
            restoreRange(caretAtFirstText(document.body));
    }, true);

    qk.removeBodyAttr = function (name) {
        if (!document.body)
            return {ok: false, snap: snapshot()};
        document.body.removeAttribute(name);
        flushMutations();
        return {ok: true, snap: snapshot()};
    };

    qk.bodyAttr = function (name) {
        return document.body ? (document.body.getAttribute(name) || '') : '';
    };

    qk.snap = function () { return snapshot(); };
