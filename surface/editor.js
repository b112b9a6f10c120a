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

    // ---- identity and changes -------------------------------------------------
    //
    // A save writes back the page's own source wherever the user changed
    // nothing. For that every node the page was loaded with gets a number from
    // one walk through the document, kept in a WeakMap so that nothing is
    // written into the page, and every change is recorded against the node it
    // touched. The program matches the walk with its parse of the source.

    let idOf = new WeakMap();      // node -> its number in the walk
    let nextIdAt = [];             // number -> the number of the node that followed it in its parent
    let walkNodes = null;          // number -> node, until the program has matched the walk
    let shapeText = '';
    let indexed = false;
    let modelBroken = false;       // the page changed before the walk: everything is written afresh
    let notWhole = new Set();      // numbers whose source is not one clean piece
    let textKindAtLoad = new WeakMap(); // text that stood in script, style, title or textarea
    let changedAttrs = new Set();
    let changedData = new Set();
    let changedKids = new Set();
    let changeCount = 0;
    const ours = new WeakSet();    // the editor's own nodes: never written, never edits
    let fragments = new WeakMap(); // first node of an Insert HTML fragment -> the fragment
    let fragmentCount = 0;
    let fragmentOf = new WeakMap(); // each node an Insert HTML fragment made -> {intact}
    let typedNodes = new WeakMap(); // an element made as typed -> its place in the typed markup
    let typedFragments = [];        // markup typed into Insert HTML since the page was saved

    // Ids that edits may have copied; only these need checking for duplicates.
    const touchedIds = new Set();

    function isOurs(n) {
        for (; n; n = n.parentNode)
            if (ours.has(n))
                return true;
        return false;
    }

    let pasteRecords = null; // while a paste runs: its records, wherever they are taken

    function noteRecords(records) {
        if (pasteRecords)
            pasteRecords.push(...records);
        let counted = 0;
        for (const r of records) {
            const t = r.target;
            if (isOurs(t))
                continue;
            if (r.type === 'childList' && [...r.addedNodes, ...r.removedNodes].every((n) => ours.has(n)))
                continue;
            counted++;
            if (!indexed && !quiet)
                modelBroken = true;
            for (let n = t; n; n = n.parentNode) {
                const made = fragmentOf.get(n);
                if (made) {
                    made.intact = false;
                    break;
                }
            }
            if (r.type === 'attributes') {
                changedAttrs.add(t);
                if (r.attributeName === 'id' && t.hasAttribute('id'))
                    touchedIds.add(t.getAttribute('id'));
            } else if (r.type === 'characterData') {
                changedData.add(t);
            } else {
                changedKids.add(t);
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
        changeCount += counted;
        return counted;
    }

    const observer = new MutationObserver((records) => {
        if (noteRecords(records) && !quiet && !dirty) {
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

    const RAW_TEXT = new Set(['script', 'style', 'xmp', 'iframe', 'noembed', 'noframes', 'plaintext']);

    // How text is written inside an element: 0 escaped, 1 raw (script,
    // style), 2 escaped but never markup (title, textarea).
    function textKind(parent) {
        if (!parent || parent.nodeType !== Node.ELEMENT_NODE)
            return 0;
        const name = parent.localName;
        return RAW_TEXT.has(name) ? 1 : (name === 'title' || name === 'textarea' ? 2 : 0);
    }

    function childrenOf(n) {
        return n.localName === 'template' && n.content ? n.content.childNodes : n.childNodes;
    }

    // The walk: numbers every node in document order and describes it as the
    // program reads it: "E<name>" opens an element and ")" closes it,
    // "T<length>" is text, "C" a comment; tokens are separated by spaces.
    function indexNow() {
        if (indexed)
            return;
        indexed = true;
        const parts = [];
        walkNodes = [];
        nextIdAt = [];
        const stack = [{kids: document.childNodes, i: 0, open: false, lastId: -1}];
        while (stack.length) {
            const f = stack[stack.length - 1];
            if (f.i >= f.kids.length) {
                stack.pop();
                if (f.open)
                    parts.push(')');
                continue;
            }
            const n = f.kids[f.i++];
            if (ours.has(n))
                continue;
            const type = n.nodeType;
            const numbered = type === Node.ELEMENT_NODE || type === Node.TEXT_NODE ||
                type === Node.CDATA_SECTION_NODE || type === Node.COMMENT_NODE;
            if (f.lastId >= 0 && numbered)
                nextIdAt[f.lastId] = walkNodes.length;
            f.lastId = numbered ? walkNodes.length : -1;
            if (type === Node.ELEMENT_NODE) {
                idOf.set(n, walkNodes.length);
                walkNodes.push(n);
                parts.push('E' + n.localName);
                stack.push({kids: childrenOf(n), i: 0, open: true, lastId: -1});
            } else if (type === Node.TEXT_NODE || type === Node.CDATA_SECTION_NODE) {
                idOf.set(n, walkNodes.length);
                walkNodes.push(n);
                parts.push('T' + n.data.length);
                const kind = textKind(n.parentNode);
                if (kind)
                    textKindAtLoad.set(n, kind);
            } else if (type === Node.COMMENT_NODE) {
                idOf.set(n, walkNodes.length);
                walkNodes.push(n);
                parts.push('C');
            }
        }
        shapeText = parts.join(' ');
    }

    function ensureIndexed() {
        if (!indexed) {
            flushMutations();
            indexNow();
        }
    }

    qk.shape = function () {
        ensureIndexed();
        return shapeText;
    };

    // The program's match of the walk with the source: nodes it found no
    // source for lose their number and are written afresh.
    qk.setAlignment = function (a) {
        if (walkNodes) {
            for (const [from, to] of a.unaligned)
                for (let i = from; i <= to && i < walkNodes.length; i++)
                    idOf.delete(walkNodes[i]);
        }
        notWhole = new Set(a.notWhole);
        walkNodes = null;
        return true;
    };

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
        s.changes = changeCount;
        s.tag = location.search;
        return s;
    }

    function push() {
        pending = false;
        if (detailsOn)
            drawDetails();
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
        for (const attr of ['src', 'href', 'background']) {
            const els = [...root.querySelectorAll('[' + attr + ']')];
            if (root.hasAttribute && root.hasAttribute(attr))
                els.push(root);
            for (const el of els) {
                const v = el.getAttribute(attr);
                const f = fileForm(v);
                if (f !== null && f !== v)
                    return true;
            }
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

    function doctypeText(dt) {
        let t = '<!DOCTYPE ' + dt.name;
        if (dt.publicId)
            t += ' PUBLIC "' + dt.publicId + '"';
        if (dt.systemId)
            t += (dt.publicId ? ' "' : ' SYSTEM "') + dt.systemId + '"';
        return t + '>';
    }

    // The whole page as the engine writes it: only when no recipe can be made.
    qk.html = function () {
        const root = document.documentElement;
        let html = '';
        if (root) {
            const copy = root.cloneNode(true);
            withoutAids(copy);
            fixTree(copy);
            html = copy.outerHTML;
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

    // Markup typed into the Insert HTML dialog is written as typed for as long
    // as the nodes it made are unchanged: the whole markup when the paste made
    // exactly what it reads as, else each element that came out as typed. The
    // program keeps the typed spelling of text (entities) wherever it went.
    function rememberFragment(html, records) {
        typedFragments.push(html);
        const added = [];
        for (const r of records)
            if (r.type === 'childList')
                for (const n of r.addedNodes)
                    if (n.isConnected && !added.includes(n))
                        added.push(n);
        const top = added.filter((n) => !added.some((o) => o !== n && o.contains(n)));
        if (!top.length)
            return;
        top.sort((a, b) => (a.compareDocumentPosition(b) & Node.DOCUMENT_POSITION_FOLLOWING) ? -1 : 1);
        // Markup that leaves an element open (an unclosed <b>) would take in
        // what follows it in the page; it is written as the engine has it.
        const probe = document.createElement('template');
        probe.innerHTML = html + '<q-end></q-end>';
        if (!probe.content.lastChild || probe.content.lastChild.localName !== 'q-end')
            return;
        const typed = document.createElement('template');
        typed.innerHTML = html;
        const parts = [...typed.content.childNodes];
        const recs = top.map((n) => {
            const made = {intact: true};
            fragmentOf.set(n, made);
            // Local files are written in the form the save makes relative.
            if (n.nodeType === Node.ELEMENT_NODE && !needsFileForm(n)) {
                const k = parts.findIndex((t) => t.nodeType === Node.ELEMENT_NODE && t.outerHTML === n.outerHTML);
                if (k >= 0)
                    typedNodes.set(n, {fragment: typedFragments.length - 1, k: k, made: made});
            }
            return made;
        });
        for (let i = 1; i < top.length; i++)
            if (top[i - 1].nextSibling !== top[i])
                return;
        const made = document.createElement('template');
        for (const n of top)
            made.content.appendChild(n.cloneNode(true));
        if (made.innerHTML === typed.innerHTML && !top.some((n) => n.nodeType === Node.ELEMENT_NODE && needsFileForm(n))) {
            fragments.set(top[0], {nodes: top, text: html, recs: recs});
            ++fragmentCount;
        }
    }

    function fragmentIntact(f) {
        if (!f.recs.every((made) => made.intact))
            return false;
        for (let i = 0; i < f.nodes.length; i++)
            if (!f.nodes[i].isConnected || (i > 0 && f.nodes[i - 1].nextSibling !== f.nodes[i]))
                return false;
        return true;
    }

    qk.wholePage = function () {
        try {
            flushMutations();
            return {ok: true, html: qk.html(), changes: changeCount};
        } catch (e) {
            return {ok: false, error: String((e && e.message) || e)};
        }
    };

    // Ids to leave out when writing: copies an edit made of an id the page had
    // fewer times (a split block copies its id), in document order.
    function idsToDrop() {
        const drop = new Set();
        const ids = touchedIds.size <= 20 ? touchedIds : new Set([...document.querySelectorAll('[id]')].map((e) => e.id));
        for (const id of ids) {
            const all = document.querySelectorAll('[id="' + CSS.escape(id) + '"]');
            const allowed = Math.max(1, loadedIdCounts.get(id) || 0);
            for (let i = allowed; i < all.length; i++)
                drop.add(all[i]);
        }
        return drop;
    }

    const SPLIT_BLOCKS = new Set(['p', 'h1', 'h2', 'h3', 'h4', 'h5', 'h6']);
    const LISTS = new Set(['ul', 'ol', 'dl', 'dir', 'menu']);

    // The recipe: the page as the program assembles it. An item is a number
    // (a node unchanged since the walk, copied from the source), or
    // {e: number, a: attributes if changed, c: children} for a node of the
    // walk whose inside changed, {t: text, n: number of the text it was, k:
    // kind} for text, {f: name, a: attributes, c: children} for a new element,
    // {h: html} for new markup written as it stands, {m: text} for a comment.
    function recipeWriter() {
        const changedPath = new Set();
        const mark = (n) => {
            for (; n && !changedPath.has(n); n = n.parentNode)
                changedPath.add(n);
        };
        for (const set of [changedAttrs, changedData, changedKids])
            for (const n of set)
                if (n.isConnected)
                    mark(n);
        const drop = idsToDrop();
        for (const el of drop)
            mark(el);

        const attrs = (el, withoutId) => {
            const out = [];
            for (const a of el.attributes)
                if (!(withoutId && a.name === 'id'))
                    out.push([a.name, a.value]);
            return out;
        };

        // Pushes the items for n; true when none of them holds source.
        function emit(n, out) {
            const id = idOf.get(n);
            // The common case first, with as few calls into the page as may
            // be: a node unchanged since the walk (text that stood in script
            // or style has its kind checked below).
            if (id !== undefined && !changedPath.has(n) && !(notWhole.size && notWhole.has(id)) &&
                !textKindAtLoad.has(n)) {
                out.push(id);
                return false;
            }
            if (ours.has(n))
                return true;
            const type = n.nodeType;
            if (type === Node.TEXT_NODE || type === Node.CDATA_SECTION_NODE) {
                const kind = textKind(n.parentNode);
                const sameKind = (textKindAtLoad.get(n) || 0) === kind;
                if (id !== undefined && sameKind && !changedPath.has(n)) {
                    out.push(id);
                    return false;
                }
                const item = {t: n.data};
                if (id !== undefined && sameKind) {
                    item.n = id;
                    // White space the engine may drop or harden at the edge of
                    // a block is invisible there; the program keeps the source's.
                    const parent = n.parentElement;
                    const style = parent ? getComputedStyle(parent) : null;
                    if (style && !/^pre/.test(style.whiteSpace) && style.whiteSpace !== 'break-spaces') {
                        item.ws = 1;
                        if (style.display !== 'inline') {
                            if (!n.previousSibling)
                                item.bs = 1;
                            if (!n.nextSibling)
                                item.be = 1;
                        }
                    }
                }
                if (kind)
                    item.k = kind;
                out.push(item);
                return item.n === undefined;
            }
            if (type === Node.COMMENT_NODE) {
                if (id !== undefined && !changedPath.has(n)) {
                    out.push(id);
                    return false;
                }
                out.push({m: n.data});
                return true;
            }
            if (type !== Node.ELEMENT_NODE)
                return true;
            if (id !== undefined && !changedPath.has(n) && !(notWhole.size && notWhole.has(id))) {
                out.push(id);
                return false;
            }
            const withoutId = drop.has(n);
            const typedAs = id === undefined && !withoutId ? typedNodes.get(n) : undefined;
            if (typedAs && typedAs.made.intact) {
                out.push({y: typedAs.fragment, k: typedAs.k, tag: n.localName, h: n.outerHTML});
                return true;
            }
            const changedAttributes = id === undefined || withoutId || changedAttrs.has(n);
            if (SPLIT_BLOCKS.has(n.localName) && [...n.children].some((c) => LISTS.has(c.localName)))
                return emitSplit(n, out, id, withoutId || changedAttributes);
            const kids = [];
            const fresh = emitChildren(childrenOf(n), kids);
            if (id !== undefined) {
                const item = {e: id, c: kids};
                if (changedAttributes)
                    item.a = attrs(n, withoutId);
                out.push(item);
                return false;
            }
            // Markup without anything of the source in it goes as the engine
            // writes it, unless a reference in it must be read as a local file.
            if (fresh && !withoutId && !needsFileForm(n) && !n.querySelector('[id]')) {
                out.push({h: n.outerHTML});
                return true;
            }
            out.push({f: n.localName, a: attrs(n, withoutId), c: kids});
            return fresh;
        }

        // A list inside a paragraph or heading does not survive a reload: the
        // parser closes the block before the list. Write the block split
        // around its lists, as the page will read.
        function emitSplit(n, out, id, changedAttributes) {
            let part = [];
            let first = true;
            const flush = () => {
                if (part.length) {
                    if (first && id !== undefined) {
                        const item = {e: id, c: part};
                        if (changedAttributes)
                            item.a = attrs(n, drop.has(n));
                        out.push(item);
                    } else {
                        out.push({f: n.localName, a: attrs(n, first ? drop.has(n) : true), c: part});
                    }
                }
                first = false;
                part = [];
            };
            for (const c of childrenOf(n)) {
                if (c.nodeType === Node.ELEMENT_NODE && LISTS.has(c.localName)) {
                    flush();
                    emit(c, out);
                } else {
                    emit(c, part);
                }
            }
            flush();
            return false;
        }

        // Unchanged nodes that followed each other at load go as one run
        // {r: [first, last, count]}, copied from the source in one piece.
        function emitChildren(list, out) {
            let fresh = true;
            let run = null;
            const endRun = () => {
                if (run)
                    out.push(run.count > 1 ? {r: [run.first, run.lastId, run.count]} : run.first);
                run = null;
            };
            for (let i = 0; i < list.length; i++) {
                const n = list[i];
                const f = fragmentCount ? fragments.get(n) : undefined;
                if (f && fragmentIntact(f)) {
                    endRun();
                    out.push({h: f.text});
                    i += f.nodes.length - 1;
                    continue;
                }
                const before = out.length;
                fresh = emit(n, out) && fresh;
                if (out.length === before + 1 && typeof out[before] === 'number') {
                    const id = out.pop();
                    if (run && nextIdAt[run.lastId] === id) {
                        run.last = n;
                        run.lastId = id;
                        run.count++;
                    } else {
                        endRun();
                        run = {first: id, last: n, lastId: id, count: 1};
                    }
                } else if (out.length > before) {
                    const added = out.splice(before);
                    endRun();
                    out.push(...added);
                }
            }
            endRun();
            return fresh;
        }

        return () => {
            const out = [];
            emitChildren(document.childNodes, out);
            return out;
        };
    }

    qk.recipe = function () {
        try {
            flushMutations();
            if (!indexed || modelBroken)
                return {ok: false, error: 'the page changed before it was numbered'};
            return {ok: true, recipe: JSON.stringify({items: recipeWriter()(), typed: typedFragments}),
                    changes: changeCount};
        } catch (e) {
            return {ok: false, error: String((e && e.message) || e)};
        }
    };

    // After a save: the references as written, the folder the page now lives
    // in, and a new walk over the page as saved. Nothing here is an edit.
    qk.saved = function (info) {
        flushMutations();
        if (info.changes !== changeCount)
            return {ok: false, snap: snapshot()}; // changed meanwhile: the page stays changed
        // References to local files may stay absolute in the page: they name
        // the same files, and the source keeps them as written. Relative ones
        // written for a new folder follow it, with the folder as the base.
        const relative = info.relative || {};
        if (Object.keys(relative).length || info.base) {
            withQuiet(() => {
                if (Object.keys(relative).length) {
                    for (const attr of ['src', 'href', 'background', 'srcset', 'style'])
                        for (const el of document.querySelectorAll('[' + attr + ']')) {
                            const to = relative[el.getAttribute(attr)];
                            if (to !== undefined)
                                el.setAttribute(attr, to);
                        }
                    for (const style of document.querySelectorAll('style'))
                        if (!ours.has(style) && relative[style.textContent] !== undefined)
                            style.textContent = relative[style.textContent];
                }
                if (info.base)
                    setBase(info.base);
            });
        }
        // The page as saved is numbered afresh before anything changes it:
        // when the page is idle, or at the first edit, whichever comes first.
        idOf = new WeakMap();
        nextIdAt = [];
        textKindAtLoad = new WeakMap();
        fragments = new WeakMap();
        fragmentCount = 0;
        fragmentOf = new WeakMap();
        typedNodes = new WeakMap();
        typedFragments = [];
        notWhole = new Set();
        changedAttrs = new Set();
        changedData = new Set();
        changedKids = new Set();
        touchedIds.clear();
        loadedIdCounts.clear();
        for (const el of document.querySelectorAll('[id]'))
            loadedIdCounts.set(el.id, (loadedIdCounts.get(el.id) || 0) + 1);
        modelBroken = false;
        indexed = false;
        walkNodes = null;
        setTimeout(ensureIndexed, 0);
        // Typing after the save is a new step to undo, not the end of the
        // typing before it.
        const sel = getSelection();
        if (sel.rangeCount) {
            const r = sel.getRangeAt(0).cloneRange();
            sel.removeAllRanges();
            sel.addRange(r);
        }
        dirty = false;
        return {ok: true, snap: snapshot()};
    };

    // Relative references resolve against the folder the page is saved in,
    // through a base element of our own that is never written.
    function setBase(folderUrl) {
        const own = [...document.querySelectorAll('base[href]')].find((b) => !ours.has(b));
        if (own || !document.head)
            return;
        let base = [...document.head.children].find((b) => ours.has(b));
        if (!base) {
            base = document.createElement('base');
            base.setAttribute('data-quillon-kiv', '');
            ours.add(base);
            document.head.insertBefore(base, document.head.firstChild);
        }
        base.setAttribute('href', folderUrl);
    }

    qk.setBase = function (folderUrl) {
        withQuiet(() => setBase(folderUrl));
        return true;
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
        let r = shownRange(saved);
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
            } finally {
                const records = pasteRecords;
                pasteRecords = null;
                if (ok)
                    rememberFragment(html, records);
            }
        }
        qk.savedRange = null;
        return {ok: !!ok, snap: snapshot()};
    };

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

    // ---- the caret and the page's source ----------------------------------------
    //
    // Elements are numbered in document order, as a parse of the page's text
    // numbers them, so that the caret can go between the page and its source.

    function elementsInOrder() {
        return [...document.getElementsByTagName('*')].filter((e) => !isOurs(e));
    }

    qk.caretElement = function () {
        const el = anchorElement();
        return el ? elementsInOrder().indexOf(el) : -1;
    };

    qk.caretToElement = function (index) {
        const el = elementsInOrder()[index];
        if (!el || !document.body || !document.body.contains(el))
            return {ok: false, snap: snapshot()};
        const text = document.createTreeWalker(el, NodeFilter.SHOW_TEXT, {
            acceptNode: (n) => /[^ \t\n\r\f]/.test(n.data) ? NodeFilter.FILTER_ACCEPT : NodeFilter.FILTER_SKIP,
        }).nextNode();
        const r = document.createRange();
        if (text)
            r.setStart(text, 0);
        else
            r.setStart(el, 0);
        r.collapse(true);
        controlEl = null;
        restoreRange(r);
        el.scrollIntoView({block: 'nearest'});
        return {ok: true, snap: snapshot()};
    };

    qk.lang = function () {
        return document.documentElement ? (document.documentElement.getAttribute('lang') || '') : '';
    };

    qk.markClean = function () {
        flushMutations();
        dirty = false;
        return snapshot();
    };

    // ---- find --------------------------------------------------------------------

    function isWordChar(ch) { return !!ch && /[\p{L}\p{N}_]/u.test(ch); }

    function selectionIsWholeWord() {
        const r = selectionRange();
        if (!r)
            return false;
        const before = r.startContainer.nodeType === Node.TEXT_NODE ? r.startContainer.data[r.startOffset - 1] : '';
        const after = r.endContainer.nodeType === Node.TEXT_NODE ? r.endContainer.data[r.endOffset] : '';
        return !isWordChar(before) && !isWordChar(after);
    }

    qk.find = function (text, matchCase, wholeWord, backward) {
        if (!text)
            return {ok: false, snap: snapshot()};
        let first = null;
        for (let i = 0; i < 10000; i++) {
            if (!window.find(text, !!matchCase, !!backward, true, false, false, false))
                break;
            const r = selectionRange();
            const key = r ? [r.startContainer, r.startOffset] : null;
            if (first && key && first[0] === key[0] && first[1] === key[1])
                break; // wrapped round to the first match: no whole word anywhere
            if (!first)
                first = key;
            if (!wholeWord || selectionIsWholeWord()) {
                controlEl = null;
                return {ok: true, snap: snapshot()};
            }
        }
        return {ok: false, snap: snapshot()};
    };

    // ---- font -----------------------------------------------------------------------

    function escapeAttr(v) { return String(v).replace(/&/g, '&amp;').replace(/"/g, '&quot;'); }

    qk.applyFont = function (f) {
        const r = selectionRange();
        if (!r || isControlSelected())
            return {ok: false, snap: snapshot()};
        const holder = document.createElement('div');
        holder.appendChild(r.cloneContents());
        let html = holder.innerHTML;
        if (r.collapsed)
            html = '&#8203;'; // something to carry the formatting at the caret
        if (f.underline) html = '<u>' + html + '</u>';
        if (f.italic) html = '<i>' + html + '</i>';
        if (f.bold) html = '<b>' + html + '</b>';
        let attrs = '';
        if (f.face) attrs += ' face="' + escapeAttr(f.face) + '"';
        if (f.size) attrs += ' size="' + parseInt(f.size, 10) + '"';
        if (f.color) attrs += ' color="' + escapeAttr(f.color) + '"';
        if (attrs)
            html = '<font' + attrs + '>' + html + '</font>';
        const ok = document.execCommand('insertHTML', false, html);
        flushMutations();
        return {ok: !!ok, snap: snapshot()};
    };

    qk.fontOfSelection = function () {
        const s = snapshot();
        return {face: s.fontName, size: s.fontSize, bold: s.status[5000] === 7, italic: s.status[5023] === 7,
                underline: s.status[5048] === 7};
    };

    // ---- tables ----------------------------------------------------------------------

    // A table as a grid of cells with their spans; rows keep their element and
    // the section they belong to.
    function tableModel(table) {
        const rows = [...table.rows];
        const cells = [];
        const taken = [];
        rows.forEach((tr, r) => {
            let c = 0;
            for (const cell of tr.cells) {
                while (taken[r] && taken[r][c])
                    c++;
                const rs = Math.max(1, cell.rowSpan || 1), cs = Math.max(1, cell.colSpan || 1);
                cells.push({el: cell, r: r, c: c, rs: Math.min(rs, rows.length - r), cs: cs});
                for (let i = 0; i < rs; i++)
                    for (let j = 0; j < cs; j++) {
                        taken[r + i] = taken[r + i] || [];
                        taken[r + i][c + j] = true;
                    }
                c += cs;
            }
        });
        let width = 0;
        for (const cell of cells)
            width = Math.max(width, cell.c + cell.cs);
        return {rows: rows.map((tr) => ({el: tr, section: tr.parentElement})), cells: cells, width: width};
    }

    function newCell(tag) {
        const td = document.createElement(tag || 'td');
        td.appendChild(document.createElement('br'));
        return td;
    }

    function buildTable(table, m) {
        const copy = table.cloneNode(false);
        for (const child of table.children)
            if (!/^(THEAD|TBODY|TFOOT|TR)$/.test(child.tagName))
                copy.appendChild(child.cloneNode(true));
        const sections = new Map();
        m.rows.forEach((row, r) => {
            let target = copy;
            if (row.section && row.section !== table) {
                if (!sections.has(row.section))
                    sections.set(row.section, copy.appendChild(row.section.cloneNode(false)));
                target = sections.get(row.section);
            }
            const tr = target.appendChild(row.el ? row.el.cloneNode(false) : document.createElement('tr'));
            for (const cell of m.cells.filter((x) => x.r === r).sort((a, b) => a.c - b.c)) {
                const el = cell.el.cloneNode(true);
                if (cell.rs > 1) el.setAttribute('rowspan', cell.rs); else el.removeAttribute('rowspan');
                if (cell.cs > 1) el.setAttribute('colspan', cell.cs); else el.removeAttribute('colspan');
                tr.appendChild(el);
            }
        });
        return copy;
    }

    function replaceNode(node, html) {
        const r = document.createRange();
        r.selectNode(node);
        restoreRange(r);
        return html === null ? document.execCommand('delete') : document.execCommand('insertHTML', false, html);
    }

    qk.tableCommand = function (cmd) {
        const el = anchorElement();
        const cellEl = closest(el, 'td,th');
        const table = cellEl ? cellEl.closest('table') : null;
        if (!table)
            return {ok: false, snap: snapshot()};
        const m = tableModel(table);
        const me = m.cells.find((x) => x.el === cellEl);
        if (!me)
            return {ok: false, snap: snapshot()};
        let focusRow = me.r, focusCol = me.c;
        if (cmd === 5021) { // insert a row below the caret's cell
            const at = me.r + me.rs;
            for (const x of m.cells) {
                if (x.r >= at) x.r++;
                else if (x.r + x.rs > at) x.rs++;
            }
            const covered = new Set();
            for (const x of m.cells)
                if (x.r < at && x.r + x.rs > at)
                    for (let j = 0; j < x.cs; j++) covered.add(x.c + j);
            const ref = m.rows[at - 1];
            m.rows.splice(at, 0, {el: null, section: ref.section});
            for (let c = 0; c < m.width; c++)
                if (!covered.has(c))
                    m.cells.push({el: newCell(cellEl.tagName === 'TH' ? 'td' : 'td'), r: at, c: c, rs: 1, cs: 1});
            focusRow = at;
        } else if (cmd === 5020) { // insert a column right of the caret's cell
            const at = me.c + me.cs;
            const spanned = new Set();
            for (const x of m.cells) {
                if (x.c >= at) x.c++;
                else if (x.c + x.cs > at) { x.cs++; for (let i = 0; i < x.rs; i++) spanned.add(x.r + i); }
            }
            for (let r = 0; r < m.rows.length; r++)
                if (!spanned.has(r))
                    m.cells.push({el: newCell('td'), r: r, c: at, rs: 1, cs: 1});
            m.width++;
            focusCol = at;
        } else if (cmd === 5007) { // delete the caret's row
            const at = me.r;
            const kept = [];
            for (const x of m.cells) {
                if (x.r === at) {
                    if (x.rs > 1) { x.rs--; kept.push(x); } // moves down onto the next row
                } else {
                    if (x.r < at && x.r + x.rs > at) x.rs--;
                    if (x.r > at) x.r--;
                    kept.push(x);
                }
            }
            m.cells = kept;
            m.rows.splice(at, 1);
            focusRow = Math.min(at, m.rows.length - 1);
        } else if (cmd === 5006) { // delete the caret's column
            const at = me.c;
            const kept = [];
            for (const x of m.cells) {
                if (x.c === at && x.cs === 1) continue;
                if (x.c <= at && x.c + x.cs > at) x.cs--;
                else if (x.c > at) x.c--;
                kept.push(x);
            }
            m.cells = kept;
            m.width--;
            focusCol = Math.min(at, m.width - 1);
        } else {
            return {ok: false, snap: snapshot()};
        }
        // Rows left without any cell of their own go too.
        const empty = m.width <= 0 || m.cells.length === 0;
        let ok;
        if (empty) {
            ok = replaceNode(table, null);
        } else {
            const built = buildTable(table, m);
            built.setAttribute('data-qk-new', '1');
            ok = replaceNode(table, built.outerHTML);
            const placed = document.querySelector('table[data-qk-new]');
            if (placed) {
                withQuiet(() => placed.removeAttribute('data-qk-new'));
                const nm = tableModel(placed);
                const target = nm.cells.find((x) => x.r <= focusRow && focusRow < x.r + x.rs &&
                                                    x.c <= focusCol && focusCol < x.c + x.cs) || nm.cells[0];
                if (target) {
                    const r = document.createRange();
                    r.selectNodeContents(target.el);
                    r.collapse(true);
                    restoreRange(r);
                }
            }
        }
        flushMutations();
        return {ok: !!ok, snap: snapshot()};
    };

    // ---- positioning ---------------------------------------------------------------

    function blockOf(el) {
        if (isControlSelected())
            return controlEl;
        for (; el && el !== document.body; el = el.parentElement)
            if (getComputedStyle(el).display !== 'inline')
                return el;
        return null;
    }

    // The engine has no editing command for positioning, and re-inserting a
    // block through its HTML insertion merges it with its neighbours, so the
    // style is set on the element itself (this change does not undo).
    qk.toggleAbsolute = function () {
        const target = positionedOf(anchorElement()) || blockOf(anchorElement());
        if (!target || target === document.body)
            return {ok: false, snap: snapshot()};
        if (target.style.position === 'absolute') {
            for (const p of ['position', 'left', 'top', 'z-index'])
                target.style.removeProperty(p);
        } else {
            const box = target.getBoundingClientRect();
            const parent = target.offsetParent || document.body;
            const base = parent === document.body ? {left: -window.scrollX, top: -window.scrollY}
                                                  : parent.getBoundingClientRect();
            target.style.position = 'absolute';
            target.style.left = Math.round(box.left - base.left) + 'px';
            target.style.top = Math.round(box.top - base.top) + 'px';
        }
        if (target.getAttribute('style') === '')
            target.removeAttribute('style');
        flushMutations();
        return {ok: true, snap: snapshot()};
    };

    let snap = false;
    qk.setSnap = function (on) { snap = !!on; return true; };

    function startDrag(e, el) {
        const startX = e.clientX, startY = e.clientY;
        const left0 = parseFloat(el.style.left) || 0, top0 = parseFloat(el.style.top) || 0;
        const move = (ev) => {
            let x = left0 + ev.clientX - startX, y = top0 + ev.clientY - startY;
            if (snap) { x = Math.round(x / 8) * 8; y = Math.round(y / 8) * 8; }
            el.style.left = x + 'px';
            el.style.top = y + 'px';
            ev.preventDefault();
        };
        const up = () => {
            document.removeEventListener('mousemove', move, true);
            document.removeEventListener('mouseup', up, true);
            flushMutations();
            schedulePush();
        };
        document.addEventListener('mousemove', move, true);
        document.addEventListener('mouseup', up, true);
    }

    // ---- view aids -------------------------------------------------------------------

    // Comments and line breaks have no box a style sheet could mark, so their
    // glyphs are drawn in a layer of our own outside the body; it never
    // reaches the HTML read back and its changes are not edits.
    let aidLayer = null;
    let detailsOn = false;
    const AID_LIMIT = 2000;

    // Where a comment stands in the page. It has no box of its own, and a
    // range collapsed between two nodes has no rectangle either: the end of
    // what comes before it is taken, else the start of what follows it,
    // else its parent's corner.
    function commentPoint(c) {
        const r = document.createRange();
        const edge = (n, atEnd) => {
            let block = false;
            if (n.nodeType === Node.TEXT_NODE && n.data.length) {
                const i = atEnd ? n.data.length - 1 : 0;
                r.setStart(n, i);
                r.setEnd(n, i + 1);
            } else if (n.nodeType === Node.ELEMENT_NODE && !ours.has(n)) {
                r.selectNode(n);
                block = !getComputedStyle(n).display.startsWith('inline');
            } else {
                return null;
            }
            const rects = [...r.getClientRects()].filter((b) => b.width || b.height);
            if (!rects.length)
                return null; // white space the layout dropped, or nothing shown
            const b = atEnd ? rects[rects.length - 1] : rects[0];
            if (!atEnd)
                return {x: b.left, y: b.top};
            return block ? {x: b.left, y: b.bottom} : {x: b.right, y: b.top};
        };
        for (let n = c.previousSibling; n; n = n.previousSibling) {
            const at = edge(n, true);
            if (at) return at;
        }
        for (let n = c.nextSibling; n; n = n.nextSibling) {
            const at = edge(n, false);
            if (at) return at;
        }
        const box = (c.parentElement || document.body).getBoundingClientRect();
        return {x: box.left, y: box.top};
    }

    function drawDetails() {
        withQuiet(() => {
            if (!detailsOn) {
                if (aidLayer) aidLayer.remove();
                aidLayer = null;
                return;
            }
            if (!aidLayer || !aidLayer.isConnected) {
                aidLayer = document.createElement('qk-view-aids');
                ours.add(aidLayer);
                aidLayer.setAttribute('style', 'position:absolute;left:0;top:0;width:0;height:0;' +
                                      'pointer-events:none;z-index:2147483647');
                document.documentElement.appendChild(aidLayer);
            }
            aidLayer.textContent = '';
            if (!document.body)
                return;
            const sx = window.scrollX, sy = window.scrollY;
            const mark = (x, y, glyph) => {
                const m = document.createElement('span');
                m.textContent = glyph;
                m.setAttribute('style', 'position:absolute;left:' + (x + sx) + 'px;top:' + (y + sy) + 'px;' +
                               'font:bold 10px sans-serif;color:#5c3566;background:#fce94f;border:1px solid #c4a000;' +
                               'padding:0 1px;line-height:11px;white-space:nowrap');
                aidLayer.appendChild(m);
            };
            let count = 0;
            for (const br of document.body.querySelectorAll('br')) {
                if (++count > AID_LIMIT) break;
                const r = br.getBoundingClientRect();
                mark(r.left + 2, r.top, '↵');
            }
            const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_COMMENT);
            let c;
            while ((c = walker.nextNode()) && ++count <= AID_LIMIT) {
                const at = commentPoint(c);
                mark(at.x, at.y, '!--');
            }
        });
    }

    function withoutAids(root) {
        for (const layer of root.querySelectorAll('qk-view-aids, base[data-quillon-kiv]'))
            layer.remove();
    }

    let aidSheet = null;
    qk.setViewAids = function (borders, details) {
        detailsOn = !!details;
        drawDetails();
        let css = '';
        if (borders)
            css += 'table:not([border]), table[border="0"], table:not([border]) td, table:not([border]) th,' +
                   ' table[border="0"] td, table[border="0"] th, div, p, form { outline: 1px dotted #8c8c8c; }\n';
        if (details)
            css += 'script, style, noscript { display: inline-block !important; width: 1.4em; height: 1.1em;' +
                   ' overflow: hidden; font-size: 0 !important; vertical-align: middle;' +
                   ' background: #fce94f; border: 1px solid #c4a000; }\n' +
                   'script::before { content: "S"; font: bold 11px sans-serif; color: #5c3566; }\n' +
                   'style::before { content: "C"; font: bold 11px sans-serif; color: #5c3566; }\n' +
                   'a[name]:not([href])::before { content: "\u2693"; color: #204a87; font-size: 11px; }\n';
        if (!aidSheet)
            aidSheet = new CSSStyleSheet();
        aidSheet.replaceSync(css);
        if (!document.adoptedStyleSheets.includes(aidSheet))
            document.adoptedStyleSheets = [...document.adoptedStyleSheets, aidSheet];
        return true;
    };

    // ---- start ----------------------------------------------------------------------

    function selectControl(el) {
        controlEl = el;
        const r = document.createRange();
        r.selectNode(el);
        restoreRange(r);
    }

    // A block that holds nothing but a no-break space (the start-up page's
    // one line) is a placeholder: what is typed into it takes its place.
    function replacePlaceholder(e) {
        if (!/^insert(Text|FromPaste|CompositionText|ReplacementText)$/.test(e.inputType))
            return;
        const r = selectionRange();
        if (!r || !r.collapsed)
            return;
        let t = r.startContainer;
        if (t.nodeType === Node.ELEMENT_NODE)
            t = t.childNodes[r.startOffset] || t.childNodes[r.startOffset - 1] || t.firstChild;
        if (!t || t.nodeType !== Node.TEXT_NODE || t.data !== '\u00a0' || !t.parentElement ||
            t.parentElement.childNodes.length !== 1 || t.parentElement === document.body)
            return;
        const whole = document.createRange();
        whole.selectNodeContents(t);
        restoreRange(whole);
    }

    // Every command that may change the page numbers it first.
    for (const name of ['exec', 'paste', 'applyFont', 'tableCommand', 'toggleAbsolute', 'setDocProp', 'setBodyAttr']) {
        const command = qk[name];
        qk[name] = function (...args) {
            ensureIndexed();
            return command.apply(this, args);
        };
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
        withQuiet(() => {
            document.designMode = 'on';
            if (!document.body && document.documentElement)
                document.documentElement.appendChild(document.createElement('body'));
        });
        observer.observe(document, {subtree: true, childList: true, attributes: true, characterData: true});
        // The caret starts where typing lands: in the page's first text.
        if (document.body) {
            const first = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT, {
                acceptNode: (n) => /[^ \t\n\r\f]/.test(n.data) ? NodeFilter.FILTER_ACCEPT : NodeFilter.FILTER_SKIP,
            }).nextNode();
            const r = document.createRange();
            if (first)
                r.setStart(first, 0);
            else
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
            if (e.button !== 0)
                return;
            let positioned = el;
            while (positioned && positioned !== document.body &&
                   !(positioned.style && positioned.style.position === 'absolute'))
                positioned = positioned.parentElement;
            if (positioned === document.body)
                positioned = null;
            if (positioned && (positioned === controlEl || e.altKey)) {
                // A positioned object already selected moves with the mouse.
                e.preventDefault();
                startDrag(e, positioned);
                return;
            }
            if (el && CONTROL_TAGS.has(el.tagName)) {
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
        // Nothing may change the page before its nodes are numbered: the walk
        // runs as soon as the page is shown, or at the first edit if that
        // comes first (every command of ours numbers the page first too).
        setTimeout(ensureIndexed, 0);
        document.addEventListener('beforeinput', (e) => {
            ensureIndexed();
            replacePlaceholder(e);
        }, true);
        bridge.ready({frameset: false, tag: location.search, charset: document.characterSet,
                      quirks: document.compatMode === 'BackCompat', snap: snapshot()});
    }

    new QWebChannel(qt.webChannelTransport, (channel) => {
        bridge = channel.objects.qkBridge;
        if (document.readyState === 'loading')
            document.addEventListener('DOMContentLoaded', start);
        else
            start();
    });
})();
