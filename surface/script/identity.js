    // ---- identity and changes -------------------------------------------------
    //
    // A save writes back the page's own source wherever the user changed
    // nothing. For that every node the page was loaded with gets a number from
    // one walk through the document, kept in a WeakMap so that nothing is
    // written into the page, and every change is recorded against the node it
    // touched. The program matches the walk with its parse of the source.

    // node -> its number in the walk. The number is kept on the node's
    // wrapper in our own script world, where the page never sees it, under a
    // key that is new with each walk: a node numbered by an earlier walk
    // carries a key nothing reads any more. A WeakMap of every node of a
    // large page cost its collector three times the whole walk.
    let idKey = Symbol('walk');
    const idOf = {
        get: (n) => n[idKey],
        has: (n) => n[idKey] !== undefined,
        delete: (n) => { n[idKey] = undefined; },
        clear: () => { idKey = Symbol('walk'); },
    };
    let nextIdAt = [];             // number -> the number of the node that followed it in its parent
    let placeAt = [];              // number -> how many numbered nodes came before it in its parent
    let unevenParents = new Set(); // parents of nodes the program found no clean source for
    let walkNodes = null;          // number -> node, until the program has matched the walk
    let walk = null;               // the walk under way: its stack and its tokens so far
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
        // A walk half done starts again over the page as it now stands.
        if (counted && walk)
            walk = null;
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

    function firstChildOf(n) {
        return n.localName === 'template' && n.content ? n.content.firstChild : n.firstChild;
    }

    // The walk: numbers every node in document order and describes it as the
    // program reads it: "E<name>" opens an element and ")" closes it,
    // "T<length>" is text, "C" a comment; tokens are separated by spaces.
    // It may go in slices between frames (walkFor), so that a page of
    // millions of nodes stays answering meanwhile; whatever would change
    // the page finishes it first (ensureIndexed), so nothing changes under
    // a walk half done.
    function beginWalk() {
        idOf.clear();
        walkNodes = [];
        nextIdAt = [];
        placeAt = [];
        unevenParents = new Set();
        // Through first children and next siblings, not lists of children:
        // a list asked of a node stays with it, and on a page of millions
        // of nodes the lists alone fill the engine's memory.
        walk = {stack: [{next: document.firstChild, open: false, lastId: -1, place: 0}], parts: []};
    }

    // Walks on until the walk is done (true) or `budget` more nodes have
    // been reached.
    function walkFor(budget) {
        if (indexed)
            return true;
        if (!walk)
            beginWalk();
        const {stack, parts} = walk;
        const key = idKey;
        while (stack.length) {
            if (--budget < 0)
                return false;
            const f = stack[stack.length - 1];
            const n = f.next;
            if (!n) {
                stack.pop();
                if (f.open)
                    parts.push(')');
                continue;
            }
            f.next = n.nextSibling;
            if (ours.has(n))
                continue;
            const type = n.nodeType;
            const numbered = type === Node.ELEMENT_NODE || type === Node.TEXT_NODE ||
                type === Node.CDATA_SECTION_NODE || type === Node.COMMENT_NODE;
            if (!numbered) {
                f.lastId = -1;
                continue;
            }
            const id = walkNodes.length;
            if (f.lastId >= 0)
                nextIdAt[f.lastId] = id;
            f.lastId = id;
            placeAt[id] = f.place++;
            n[key] = id;
            walkNodes.push(n);
            if (type === Node.ELEMENT_NODE) {
                parts.push('E' + n.localName);
                stack.push({next: firstChildOf(n), open: true, lastId: -1, place: 0});
            } else if (type === Node.COMMENT_NODE) {
                parts.push('C');
            } else {
                parts.push('T' + n.length);
                const kind = textKind(n.parentNode);
                if (kind)
                    textKindAtLoad.set(n, kind);
            }
        }
        shapeText = parts.join(' ');
        walk = null;
        indexed = true;
        return true;
    }

    function ensureIndexed() {
        if (!indexed) {
            flushMutations();
            walkFor(Infinity);
        }
    }

    // The walk is done once the page has been shown, so that the first key
    // does not wait for it. Timers never fire here (the page's own scripts
    // are off, and with them the page's timers), frames do: the walk starts
    // at the page's second frame, after the first has put the page on the
    // screen, and goes on a slice a frame: a slice of nodes, some ten
    // milliseconds of work here, so that the page scrolls and answers
    // meanwhile. A key that comes before the end finishes the walk first,
    // and a page never shown is walked at its first edit.
    const kWalkSliceNodes = 4096;

    function indexWhenShown() {
        const slice = () => {
            if (!walkFor(kWalkSliceNodes))
                requestAnimationFrame(slice);
        };
        requestAnimationFrame(() => requestAnimationFrame(slice));
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
                for (let i = from; i <= to && i < walkNodes.length; i++) {
                    unevenParents.add(walkNodes[i].parentNode);
                    idOf.delete(walkNodes[i]);
                }
            for (const i of a.notWhole)
                if (walkNodes[i])
                    unevenParents.add(walkNodes[i].parentNode);
        }
        notWhole = new Set(a.notWhole);
        walkNodes = null;
        return true;
    };
