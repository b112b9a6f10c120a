// The editing surface's own script. It runs in an isolated world: the page's
// scripts never run, and nothing of this script is visible to the page.
(function () {
    'use strict';
    if (window.qk)
        return;
    const qk = {};
    window.qk = qk;

    let bridge = null;
    let controlEl = null;   // the object selected as a whole (an image, ...)
    let dirty = false;
    let quiet = 0;          // > 0 while our own changes must not count as edits
    let pending = false;
    const loadedIdCounts = new Map();

    const BLOCK_FORMATS = [
        ['Normal', 'DIV'], ['Formatted', 'PRE'], ['Address', 'ADDRESS'],
        ['Heading 1', 'H1'], ['Heading 2', 'H2'], ['Heading 3', 'H3'],
        ['Heading 4', 'H4'], ['Heading 5', 'H5'], ['Heading 6', 'H6'],
        ['Numbered List', 'OL'], ['Bulleted List', 'UL'], ['Directory List', 'DIR'],
        ['Menu List', 'MENU'], ['Definition Term', 'DT'], ['Definition', 'DD'],
        ['Paragraph', 'P'],
    ];
    const CONTROL_TAGS = new Set(['IMG', 'INPUT', 'SELECT', 'TEXTAREA', 'BUTTON', 'OBJECT', 'EMBED',
                                  'IFRAME', 'HR', 'VIDEO', 'AUDIO', 'APPLET', 'MARQUEE']);
    const FONT_SIZES_PX = [10, 13, 16, 18, 24, 32, 48];

    // Ids that edits may have copied; only these need checking for duplicates.
    const touchedIds = new Set();

    function noteRecords(records) {
        for (const r of records) {
            if (r.type === 'attributes') {
                if (r.attributeName === 'id' && r.target.hasAttribute('id'))
                    touchedIds.add(r.target.getAttribute('id'));
            } else if (r.type === 'childList') {
                for (const n of r.addedNodes) {
                    if (n.nodeType !== Node.ELEMENT_NODE)
                        continue;
                    if (n.hasAttribute('id'))
                        touchedIds.add(n.getAttribute('id'));
                    for (const d of n.querySelectorAll('[id]'))
                        touchedIds.add(d.getAttribute('id'));
                }
            }
        }
        return records.length;
    }

    const observer = new MutationObserver((records) => {
        noteRecords(records);
        if (!quiet && !dirty) {
            markDirty();
            schedulePush();
        }
    });

    function markDirty() { dirty = true; }

    function withQuiet(fn) {
        if (noteRecords(observer.takeRecords()) && !quiet)
            markDirty();
        quiet++;
        try { return fn(); } finally { noteRecords(observer.takeRecords()); quiet--; }
    }

    function flushMutations() {
        if (noteRecords(observer.takeRecords()) && !quiet)
            markDirty();
    }

    // ---- selection -------------------------------------------------------

    function selectionRange() {
        const sel = document.getSelection();
        return sel && sel.rangeCount ? sel.getRangeAt(0) : null;
    }

    function isControlSelected() {
        if (!controlEl || !controlEl.isConnected)
            return false;
        const r = selectionRange();
        if (!r || r.startContainer !== r.endContainer || r.endOffset - r.startOffset !== 1)
            return false;
        return r.startContainer.childNodes[r.startOffset] === controlEl;
    }

    function selectionType() {
        if (isControlSelected())
            return 'Control';
        const r = selectionRange();
        if (!r || r.collapsed)
            return 'None';
        return 'Text';
    }

    function elementOf(node) {
        return node && node.nodeType === Node.ELEMENT_NODE ? node : (node ? node.parentElement : null);
    }

    function anchorElement() {
        const r = selectionRange();
        if (!r)
            return null;
        let n = r.startContainer;
        if (n.nodeType === Node.ELEMENT_NODE && n.childNodes[r.startOffset] && !r.collapsed)
            n = n.childNodes[r.startOffset];
        return elementOf(n);
    }

    function closest(el, selector) {
        return el && el.closest ? el.closest(selector) : null;
    }

    // Text nodes of the selection (at most a sample, so that a selection of a
    // whole large page stays cheap).
    function selectedTextNodes(limit) {
        const r = selectionRange();
        const out = [];
        if (!r)
            return out;
        if (r.collapsed || (r.startContainer === r.endContainer && r.startContainer.nodeType === Node.TEXT_NODE)) {
            if (r.startContainer.nodeType === Node.TEXT_NODE)
                out.push(r.startContainer);
            return out;
        }
        const root = r.commonAncestorContainer;
        const walker = document.createTreeWalker(root, NodeFilter.SHOW_TEXT, {
            acceptNode: (n) => (n.data.trim().length && r.intersectsNode(n)) ? NodeFilter.FILTER_ACCEPT
                                                                               : NodeFilter.FILTER_REJECT,
        });
        let n;
        while ((n = walker.nextNode()) && out.length < limit) {
            if (n === r.endContainer && r.endOffset === 0)
                continue;
            if (n === r.startContainer && r.startOffset >= n.data.length)
                continue;
            out.push(n);
        }
        return out;
    }

    function styleOf(textNode) {
        return getComputedStyle(textNode.parentElement);
    }

    function isBold(s) { return (parseInt(s.fontWeight, 10) || 400) >= 600; }
    function isItalic(s) { return s.fontStyle === 'italic' || s.fontStyle === 'oblique'; }
    function isUnderlined(textNode) {
        for (let el = textNode.parentElement; el; el = el.parentElement) {
            if (getComputedStyle(el).textDecorationLine.indexOf('underline') >= 0)
                return true;
        }
        return false;
    }

    function tri(nodes, test, fallbackCommand) {
        if (!nodes.length)
            return document.queryCommandState(fallbackCommand) ? 7 : 3;
        let yes = 0;
        for (const n of nodes)
            if (test(n))
                yes++;
        return yes === 0 ? 3 : (yes === nodes.length ? 7 : 11);
    }

    function firstFamily(family) {
        const first = (family || '').split(',')[0].trim();
        return first.replace(/^["']|["']$/g, '');
    }

    function sizeIndex(px) {
        let best = 0;
        for (let i = 1; i < FONT_SIZES_PX.length; i++)
            if (Math.abs(FONT_SIZES_PX[i] - px) < Math.abs(FONT_SIZES_PX[best] - px))
                best = i;
        return best + 1;
    }

    function blockFormatName(el) {
        for (; el && el !== document.body; el = el.parentElement) {
            const tag = el.tagName;
            if (tag === 'LI') {
                const list = el.parentElement ? el.parentElement.tagName : '';
                for (const [name, t] of BLOCK_FORMATS)
                    if (t === list)
                        return name;
                return 'Bulleted List';
            }
            for (const [name, t] of BLOCK_FORMATS)
                if (t === tag)
                    return name;
            if (getComputedStyle(el).display === 'block' && tag !== 'BLOCKQUOTE')
                return 'Normal';
        }
        return 'Normal';
    }

    function canOutdent(el) {
        for (; el && el !== document.body; el = el.parentElement) {
            if (el.tagName === 'LI' || el.tagName === 'BLOCKQUOTE')
                return true;
            if (el.style && parseFloat(el.style.marginLeft) > 0)
                return true;
        }
        return false;
    }

    function positionedOf(el) {
        if (isControlSelected())
            el = controlEl;
        for (; el && el !== document.body; el = el.parentElement) {
            if (el.style && el.style.position === 'absolute')
                return el;
        }
        return null;
    }

    // ---- the snapshot -----------------------------------------------------

    function snapshot() {
        flushMutations();
        const s = {};
        const type = selectionType();
        const r = selectionRange();
        const editable = !!r && document.designMode === 'on';
        const textual = editable && type !== 'Control';
        const el = anchorElement();
        const nodes = textual ? selectedTextNodes(400) : [];
        const st = {};
        const on = (v) => v ? 3 : 1;

        st[5000] = textual ? tri(nodes, (n) => isBold(styleOf(n)), 'bold') : 1;
        st[5023] = textual ? tri(nodes, (n) => isItalic(styleOf(n)), 'italic') : 1;
        st[5048] = textual ? tri(nodes, isUnderlined, 'underline') : 1;
        st[5030] = textual ? (document.queryCommandState('insertOrderedList') ? 7 : 3) : 1;
        st[5051] = textual ? (document.queryCommandState('insertUnorderedList') ? 7 : 3) : 1;
        st[5025] = textual ? (document.queryCommandState('justifyLeft') ? 7 : 3) : 1;
        st[5024] = textual ? (document.queryCommandState('justifyCenter') ? 7 : 3) : 1;
        st[5026] = textual ? (document.queryCommandState('justifyRight') ? 7 : 3) : 1;
        st[5018] = on(textual);
        st[5031] = on(textual && canOutdent(el));
        st[5046] = on(textual);
        st[5044] = on(textual);
        st[5045] = on(textual);
        st[5043] = on(textual);
        st[5011] = on(textual);
        st[5012] = 3;
        st[5009] = on(textual);
        st[5008] = on(document.designMode === 'on');
        st[5035] = on(document.designMode === 'on');
        st[5003] = on(editable && type !== 'None');
        st[5002] = on(editable && type !== 'None');
        st[5032] = on(editable);
        st[5049] = on(editable && document.queryCommandEnabled('undo'));
        st[5033] = on(editable && document.queryCommandEnabled('redo'));
        const cell = textual ? closest(el, 'td,th') : null;
        st[5021] = st[5020] = st[5007] = st[5006] = on(!!cell);
        st[5028] = on(editable && (type === 'Control' || !!el));
        st[5040] = on(editable && !!positionedOf(el));

        let fontName = '', fontSize = 0;
        if (textual) {
            const sample = nodes.length ? nodes : (el ? [el.firstChild || el] : []);
            const names = new Set(), sizes = new Set();
            for (const n of sample) {
                const cs = getComputedStyle(elementOf(n));
                names.add(firstFamily(cs.fontFamily));
                sizes.add(sizeIndex(parseFloat(cs.fontSize)));
            }
            if (names.size === 1) { fontName = [...names][0]; st[5013] = 3; } else { st[5013] = names.size ? 11 : 1; }
            if (sizes.size === 1) { fontSize = [...sizes][0]; st[5014] = 3; } else { st[5014] = sizes.size ? 11 : 1; }
        } else {
            st[5013] = 1;
            st[5014] = 1;
        }

        s.status = st;
        s.fontName = fontName;
        s.fontSize = fontSize;
        s.blockFormat = textual ? blockFormatName(el) : '';
        s.selType = type;
        s.title = document.title;
        s.dirty = dirty;
        s.tag = location.search;
        return s;
    }

    function push() {
        pending = false;
        if (bridge)
            bridge.push(snapshot());
    }

    function schedulePush() {
        if (pending)
            return;
        pending = true;
        Promise.resolve().then(push);
    }

    // ---- serialisation ------------------------------------------------------

    const LOCAL_ABSOLUTE = /^(\/|[A-Za-z]:[\\\/])/;

    function fileForm(value) {
        if (/^file:/i.test(value)) {
            let rest = value.replace(/^file:\/*/i, '');
            if (/^localhost\//i.test(rest))
                rest = rest.substring(9);
            try { rest = decodeURIComponent(rest); } catch (e) { /* keep as written */ }
            return /^[A-Za-z]:/.test(rest) ? 'file:///' + rest : 'file:///' + rest.replace(/^\/+/, '');
        }
        if (value.startsWith('//'))
            return null; // a network-path reference, not a local file
        if (LOCAL_ABSOLUTE.test(value))
            return /^[A-Za-z]:/.test(value) ? 'file://' + value : 'file://' + value;
        return null;
    }

    function needsFileForm(root) {
        for (const attr of ['src', 'href', 'background'])
            for (const el of root.querySelectorAll('[' + attr + ']')) {
                const v = el.getAttribute(attr);
                const f = fileForm(v);
                if (f !== null && f !== v)
                    return true;
            }
        return false;
    }

    function fixTree(root) {
        // Local references read as "file://" followed by the plain path.
        for (const attr of ['src', 'href', 'background'])
            for (const el of root.querySelectorAll('[' + attr + ']')) {
                const v = el.getAttribute(attr);
                const f = fileForm(v);
                if (f !== null && f !== v)
                    el.setAttribute(attr, f);
            }
        // A list inside a paragraph or heading does not survive a reload: the
        // parser closes the paragraph. Split the block around the list.
        const blocks = 'P,H1,H2,H3,H4,H5,H6';
        let list;
        while ((list = [...root.querySelectorAll('ul,ol,dl,dir,menu')].find(
                    (l) => l.parentElement && l.parentElement.matches(blocks)))) {
            const block = list.parentElement;
            const after = block.cloneNode(false);
            after.removeAttribute('id');
            while (list.nextSibling)
                after.appendChild(list.nextSibling);
            block.after(list);
            list.after(after);
            if (!after.childNodes.length)
                after.remove();
            if (!block.childNodes.length)
                block.remove();
        }
        // Splitting a block copies its id; keep each id as often as the page had it.
        const seen = new Map();
        for (const el of root.querySelectorAll('[id]')) {
            const id = el.getAttribute('id');
            const n = (seen.get(id) || 0) + 1;
            seen.set(id, n);
            if (n > Math.max(1, loadedIdCounts.get(id) || 0))
                el.removeAttribute('id');
        }
    }

    function hasDuplicateIds() {
        flushMutations();
        if (touchedIds.size <= 20) {
            for (const id of touchedIds) {
                const n = document.querySelectorAll('[id="' + CSS.escape(id) + '"]').length;
                if (n > Math.max(1, loadedIdCounts.get(id) || 0))
                    return true;
            }
            return false;
        }
        const seen = new Map();
        for (const el of document.querySelectorAll('[id]')) {
            const id = el.getAttribute('id');
            const n = (seen.get(id) || 0) + 1;
            seen.set(id, n);
            if (n > Math.max(1, loadedIdCounts.get(id) || 0))
                return true;
        }
        return false;
    }

    function doctypeText(dt) {
        let t = '<!DOCTYPE ' + dt.name;
        if (dt.publicId)
            t += ' PUBLIC "' + dt.publicId + '"';
        if (dt.systemId)
            t += (dt.publicId ? ' "' : ' SYSTEM "') + dt.systemId + '"';
        return t + '>';
    }

    qk.html = function () {
        const root = document.documentElement;
        let html = '';
        if (root) {
            const needsFix = needsFileForm(root) || hasDuplicateIds() ||
                root.querySelector('p>ul,p>ol,p>dl,p>dir,p>menu,h1>ul,h1>ol,h2>ul,h2>ol,h3>ul,h3>ol,h4>ul,h4>ol,h5>ul,h5>ol,h6>ul,h6>ol');
            if (needsFix) {
                const copy = root.cloneNode(true);
                fixTree(copy);
                html = copy.outerHTML;
            } else {
                html = root.outerHTML;
            }
        }
        const parts = [];
        for (const n of document.childNodes) {
            if (n.nodeType === Node.DOCUMENT_TYPE_NODE)
                parts.push(doctypeText(n));
            else if (n.nodeType === Node.COMMENT_NODE)
                parts.push('<!--' + n.data + '-->');
            else if (n === root)
                parts.push(html);
        }
        return parts.join('\r\n');
    };

    qk.sourceNeedsFix = function () {
        return !!document.documentElement && needsFileForm(document.documentElement);
    };

    // ---- commands -------------------------------------------------------------

    function restoreRange(r) {
        const sel = document.getSelection();
        sel.removeAllRanges();
        sel.addRange(r);
    }

    qk.exec = function (cmd, value) {
        const r = selectionRange();
        let ok = true;
        switch (cmd) {
        case 5000: ok = document.execCommand('bold'); break;
        case 5023: ok = document.execCommand('italic'); break;
        case 5048: ok = document.execCommand('underline'); break;
        case 5030: ok = document.execCommand('insertOrderedList'); break;
        case 5051: ok = document.execCommand('insertUnorderedList'); break;
        case 5018: ok = document.execCommand('indent'); break;
        case 5031: ok = document.execCommand('outdent'); break;
        case 5025: ok = document.execCommand('justifyLeft'); break;
        case 5024: ok = document.execCommand('justifyCenter'); break;
        case 5026: ok = document.execCommand('justifyRight'); break;
        case 5035: ok = document.execCommand('selectAll'); break;
        case 5046: ok = document.execCommand('foreColor', false, String(value)); break;
        case 5044: ok = document.execCommand('fontName', false, String(value)); break;
        case 5045: {
            const n = parseInt(value, 10);
            ok = n >= 1 && n <= 7 && document.execCommand('fontSize', false, String(n));
            break;
        }
        case 5043: {
            const entry = BLOCK_FORMATS.find(([name]) => name === String(value));
            if (!entry) { ok = false; break; }
            const tag = entry[1];
            if (tag === 'OL')
                ok = document.queryCommandState('insertOrderedList') || document.execCommand('insertOrderedList');
            else if (tag === 'UL' || tag === 'DIR' || tag === 'MENU')
                ok = document.queryCommandState('insertUnorderedList') || document.execCommand('insertUnorderedList');
            else
                ok = document.execCommand('formatBlock', false, '<' + tag.toLowerCase() + '>');
            break;
        }
        default:
            ok = false;
        }
        if (ok && r === null)
            ok = false;
        flushMutations();
        return {ok: !!ok, snap: snapshot()};
    };

    qk.blockFormatNames = function () { return BLOCK_FORMATS.map(([name]) => name); };

    qk.rangeText = function () {
        if (isControlSelected())
            return {ok: false, snap: snapshot()};
        const r = selectionRange();
        if (!r)
            return {ok: false, snap: snapshot()};
        qk.savedRange = r.cloneRange();
        return {ok: true, text: r.toString(), snap: snapshot()};
    };

    qk.paste = function (html) {
        if (isControlSelected())
            return {ok: false, snap: snapshot()};
        const r = qk.savedRange || selectionRange();
        if (!r || !document.body)
            return {ok: false, snap: snapshot()};
        restoreRange(r);
        let ok;
        if (html === '')
            ok = r.collapsed ? true : document.execCommand('delete');
        else
            ok = document.execCommand('insertHTML', false, html);
        qk.savedRange = null;
        flushMutations();
        return {ok: !!ok, snap: snapshot()};
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

    qk.bodyAttr = function (name) {
        return document.body ? (document.body.getAttribute(name) || '') : '';
    };

    qk.snap = function () { return snapshot(); };

    qk.markClean = function () {
        flushMutations();
        dirty = false;
        return snapshot();
    };

    // ---- start ----------------------------------------------------------------------

    function selectControl(el) {
        controlEl = el;
        const r = document.createRange();
        r.selectNode(el);
        restoreRange(r);
    }

    function start() {
        if (document.body && document.body.tagName === 'FRAMESET') {
            bridge.ready({frameset: true, tag: location.search});
            return;
        }
        for (const el of document.querySelectorAll('[id]')) {
            const id = el.getAttribute('id');
            loadedIdCounts.set(id, (loadedIdCounts.get(id) || 0) + 1);
        }
        const sourceNeedsFix = qk.sourceNeedsFix();
        withQuiet(() => {
            document.designMode = 'on';
            if (!document.body && document.documentElement)
                document.documentElement.appendChild(document.createElement('body'));
        });
        observer.observe(document, {subtree: true, childList: true, attributes: true, characterData: true});
        if (document.body) {
            const r = document.createRange();
            r.setStart(document.body, 0);
            r.collapse(true);
            restoreRange(r);
        }
        document.addEventListener('selectionchange', () => {
            if (controlEl && !isControlSelected())
                controlEl = null;
            schedulePush();
        });
        document.addEventListener('input', () => { flushMutations(); markDirty(); schedulePush(); });
        document.addEventListener('mousedown', (e) => {
            const el = e.target;
            if (el && CONTROL_TAGS.has(el.tagName) && e.button === 0) {
                e.preventDefault();
                selectControl(el);
                schedulePush();
            }
        }, true);
        document.addEventListener('contextmenu', (e) => {
            const el = e.target;
            if (el && CONTROL_TAGS.has(el.tagName))
                selectControl(el);
            else if (el && closest(el, 'td,th')) {
                const r = selectionRange();
                if (!r || !closest(elementOf(r.startContainer), 'td,th')) {
                    const pos = document.caretRangeFromPoint(e.clientX, e.clientY);
                    if (pos)
                        restoreRange(pos);
                }
            }
            schedulePush();
        }, true);
        // Nothing dropped onto the page may navigate away from it.
        document.addEventListener('dragover', (e) => {
            if (e.dataTransfer && [...e.dataTransfer.types].includes('Files'))
                e.preventDefault();
        }, true);
        document.addEventListener('drop', (e) => {
            if (e.dataTransfer && [...e.dataTransfer.types].includes('Files'))
                e.preventDefault();
        }, true);
        bridge.ready({frameset: false, tag: location.search, sourceNeedsFix: sourceNeedsFix, charset: document.characterSet,
                      snap: snapshot()});
    }

    new QWebChannel(qt.webChannelTransport, (channel) => {
        bridge = channel.objects.qkBridge;
        if (document.readyState === 'loading')
            document.addEventListener('DOMContentLoaded', start);
        else
            start();
    });
})();
