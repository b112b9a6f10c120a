    // ---- pasting -------------------------------------------------------------
    //
    // What another program puts on the clipboard carries its own look along
    // with the meaning: classes and styles of a word processor, the colours
    // and fonts a browser computed for its page. The page keeps the meaning
    // (structure, links, pictures, emphasis) and drops the rest.

    const PASTE_KEEP = new Set(['H1', 'H2', 'H3', 'H4', 'H5', 'H6', 'P', 'BR', 'UL', 'OL', 'LI', 'DL', 'DT', 'DD',
                                'TABLE', 'CAPTION', 'THEAD', 'TBODY', 'TFOOT', 'TR', 'TD', 'TH', 'A', 'IMG', 'B',
                                'STRONG', 'I', 'EM', 'U', 'SUP', 'SUB', 'BLOCKQUOTE', 'PRE', 'CODE', 'HR', 'S',
                                'STRIKE']);
    const PASTE_ATTRS = {A: ['href', 'name', 'title'], IMG: ['src', 'alt', 'width', 'height'],
                         TD: ['colspan', 'rowspan'], TH: ['colspan', 'rowspan'], OL: ['start', 'type'],
                         TABLE: ['border']};
    // Whole elements of the other program's that mean nothing here.
    const PASTE_DROP = new Set(['SCRIPT', 'STYLE', 'HEAD', 'TITLE', 'META', 'LINK', 'XML', 'COLGROUP', 'COL',
                                'TEMPLATE', 'NOSCRIPT', 'OBJECT', 'EMBED', 'IFRAME', 'SVG', 'MATH', 'BUTTON',
                                'INPUT', 'SELECT', 'TEXTAREA', 'CANVAS', 'AUDIO', 'VIDEO', 'APPLET', 'BASE']);
    // Containers that hold a paragraph's worth of text when nothing in them is a block.
    const PASTE_CONTAINERS = new Set(['DIV', 'SECTION', 'ARTICLE', 'MAIN', 'HEADER', 'FOOTER', 'ASIDE', 'NAV',
                                      'ADDRESS', 'CENTER', 'FIGURE', 'FIGCAPTION', 'DETAILS', 'SUMMARY', 'FORM',
                                      'FIELDSET', 'LEGEND']);
    const PASTE_BLOCKS = new Set(['H1', 'H2', 'H3', 'H4', 'H5', 'H6', 'P', 'UL', 'OL', 'LI', 'DL', 'DT', 'DD',
                                  'TABLE', 'BLOCKQUOTE', 'PRE', 'HR', ...PASTE_CONTAINERS]);
    const BULLET_TEXT = /^[ \t\r\n\u00a0]*[\u2022\u00b7\u25e6\u25aa\u25a0\u25cf\u25cb\u2023\u2043][ \t\r\n\u00a0]+/;

    // Emphasis a program wrote as a style of its own (not a browser's
    // computed style, which names every property the text inherited).
    function styleMeaning(style) {
        if (!style || /orphans|widows|-webkit-text-stroke/i.test(style))
            return [];
        const out = [];
        if (/(^|;)\s*font-weight\s*:\s*(bold|[6-9]00)/i.test(style))
            out.push('B');
        if (/(^|;)\s*font-style\s*:\s*italic/i.test(style))
            out.push('I');
        if (/(^|;)\s*text-decoration(-line)?\s*:[^;]*underline/i.test(style))
            out.push('U');
        if (/(^|;)\s*vertical-align\s*:\s*super/i.test(style))
            out.push('SUP');
        else if (/(^|;)\s*vertical-align\s*:\s*sub/i.test(style))
            out.push('SUB');
        return out;
    }

    function safeUrl(value) {
        return !/^[\s\u0000-\u001f]*(javascript|vbscript|data\s*:\s*text)/i.test(value);
    }

    // A paragraph a word processor wrote as a list item: its level, its kind,
    // with the bullet or number it drew by hand taken out.
    function listParagraph(p) {
        const style = p.getAttribute('style') || '';
        const m = /mso-list\s*:\s*(l\d+)\s+level(\d+)/i.exec(style);
        if (m) {
            let marker = '';
            for (const el of [...p.querySelectorAll('[style]')])
                if (p.contains(el) && /mso-list\s*:\s*ignore/i.test(el.getAttribute('style'))) {
                    marker += el.textContent;
                    el.remove();
                }
            marker = marker.replace(/[ \t\r\n\u00a0]+/g, '');
            return {id: m[1], level: parseInt(m[2], 10), ordered: /^[0-9a-zA-Z]{1,4}[.)]$/.test(marker)};
        }
        const walker = p.ownerDocument.createTreeWalker(p, NodeFilter.SHOW_TEXT);
        let t = walker.nextNode();
        while (t && !/[^ \t\r\n]/.test(t.data))
            t = walker.nextNode();
        if (!t || !BULLET_TEXT.test(t.data))
            return null;
        t.data = t.data.replace(BULLET_TEXT, '');
        return {id: '', level: 1, ordered: false};
    }

    function meaningless(n) {
        return n && (n.nodeType === Node.COMMENT_NODE ||
                     (n.nodeType === Node.TEXT_NODE && !/[^ \t\r\n]/.test(n.data)));
    }

    function paragraphsToLists(root) {
        const stacks = new Map();
        for (const p of [...root.querySelectorAll('p')]) {
            const mark = listParagraph(p);
            if (!mark)
                continue;
            const doc = p.ownerDocument;
            let prev = p.previousSibling;
            while (meaningless(prev))
                prev = prev.previousSibling;
            let stack = prev ? stacks.get(prev) : null;
            // Another list of the word processor's, or another kind, starts a list of its own.
            if (stack && mark.level <= stack[0].level && (stack[0].id !== mark.id || stack[0].ordered !== mark.ordered))
                stack = null;
            if (!stack) {
                const list = doc.createElement(mark.ordered ? 'ol' : 'ul');
                p.before(list);
                stack = [{el: list, level: mark.level, id: mark.id, ordered: mark.ordered}];
                stacks.set(list, stack);
            }
            while (stack.length > 1 && mark.level < stack[stack.length - 1].level)
                stack.pop();
            let top = stack[stack.length - 1];
            if (mark.level > top.level) {
                const list = doc.createElement(mark.ordered ? 'ol' : 'ul');
                let li = top.el.lastElementChild;
                if (!li) {
                    li = doc.createElement('li');
                    top.el.appendChild(li);
                }
                li.appendChild(list);
                stack.push({el: list, level: mark.level});
                top = stack[stack.length - 1];
            }
            const li = doc.createElement('li');
            while (p.firstChild)
                li.appendChild(p.firstChild);
            top.el.appendChild(li);
            p.remove();
        }
    }

    function hasBlockInside(el) {
        for (const d of el.querySelectorAll('*'))
            if (PASTE_BLOCKS.has(d.tagName.toUpperCase()))
                return true;
        return false;
    }

    function cleanChildren(from, to, pre) {
        for (const c of [...from.childNodes])
            cleanNode(c, to, pre);
    }

    function cleanNode(n, to, pre) {
        const doc = to.ownerDocument;
        if (n.nodeType === Node.TEXT_NODE) {
            to.appendChild(doc.createTextNode(pre ? n.data : n.data.replace(/[ \t\r\n\f]+/g, ' ')));
            return;
        }
        if (n.nodeType !== Node.ELEMENT_NODE)
            return; // comments, conditional comments, processing instructions
        const tag = n.tagName.toUpperCase();
        const style = n.getAttribute('style') || '';
        if (tag.includes(':')) {
            // A namespaced element of a word processor: its paragraph marks
            // and shapes go, other wrappers give up their content.
            if (!/^(O:P|V:)/.test(tag))
                cleanChildren(n, to, pre);
            return;
        }
        if (PASTE_DROP.has(tag) || /mso-list\s*:\s*ignore|display\s*:\s*none|mso-hide\s*:\s*all/i.test(style))
            return;
        // Emphasis a style takes back (a whole document wrapped in a bold
        // tag of normal weight) is none.
        const undone = ((tag === 'B' || tag === 'STRONG') && /font-weight\s*:\s*(normal|[1-5]00)/i.test(style)) ||
                       ((tag === 'I' || tag === 'EM') && /font-style\s*:\s*normal/i.test(style));
        if (PASTE_KEEP.has(tag) && !undone) {
            const el = doc.createElement(tag.toLowerCase());
            for (const name of PASTE_ATTRS[tag] || []) {
                const v = n.getAttribute(name);
                if (v !== null && ((name !== 'href' && name !== 'src') || safeUrl(v)))
                    el.setAttribute(name, v);
            }
            if (tag === 'IMG' && !el.hasAttribute('src'))
                return;
            to.appendChild(el);
            cleanChildren(n, el, pre || tag === 'PRE');
            return;
        }
        if (PASTE_CONTAINERS.has(tag) && !hasBlockInside(n)) {
            const p = doc.createElement('p');
            to.appendChild(p);
            cleanChildren(n, p, pre);
            return;
        }
        // A browser writes a space next to markup as a no-break space in a
        // span of its own, so that no program collapses it.
        if (tag === 'SPAN' && !n.children.length && /^\u00a0+$/.test(n.textContent)) {
            to.appendChild(doc.createTextNode(pre ? n.textContent : ' '));
            return;
        }
        // Spans, fonts and the like: only the emphasis they stand for stays.
        let inner = to;
        for (const t of styleMeaning(style)) {
            const el = doc.createElement(t.toLowerCase());
            inner.appendChild(el);
            inner = el;
        }
        cleanChildren(n, inner, pre);
    }

    function showsNothing(el) {
        return !/[^ \t\r\n\u00a0]/.test(el.textContent) && !el.querySelector('img,hr,table,br');
    }

    // The output as the page should hold it: no empty paragraph or empty
    // emphasis, a lone paragraph in a list item or a cell is that item's
    // text, no space at the edges of a block or twice between words.
    function tidyPasted(root) {
        root.normalize();
        for (const el of [...root.querySelectorAll('b,strong,i,em,u,sup,sub,s,strike,code,a')].reverse())
            if (!el.textContent && !el.querySelector('img,br') && !(el.localName === 'a' && el.hasAttribute('name')))
                el.remove();
        for (const el of [...root.querySelectorAll('p,h1,h2,h3,h4,h5,h6,blockquote,li,dt,dd,caption')].reverse())
            if (!/[^ \t\r\n\u00a0]/.test(el.textContent) && !el.querySelector('img,hr,table'))
                el.remove();
        for (const list of [...root.querySelectorAll('ul,ol,dl')].reverse())
            if (!list.children.length)
                list.remove();
        for (const p of [...root.querySelectorAll('li>p:only-of-type,td>p:only-of-type,th>p:only-of-type,dd>p:only-of-type')]) {
            const parent = p.parentElement;
            if ([...parent.childNodes].some((c) => c !== p && !meaningless(c) && !(c.nodeType === Node.ELEMENT_NODE && PASTE_BLOCKS.has(c.tagName))))
                continue;
            while (p.firstChild)
                p.before(p.firstChild);
            p.remove();
        }
        // A line break that ends a block shows nothing.
        for (const br of [...root.querySelectorAll('br')]) {
            let next = br.nextSibling;
            while (meaningless(next))
                next = next.nextSibling;
            const parent = br.parentElement;
            if (!next && parent && parent !== root && PASTE_BLOCKS.has(parent.tagName) && !showsNothing(parent))
                br.remove();
        }
        // White space: once between words, none at the edges of a block.
        const walker = root.ownerDocument.createTreeWalker(root, NodeFilter.SHOW_TEXT);
        let lastText = null;
        let lastBlock = null;
        const blockOfText = (t) => {
            let el = t.parentElement;
            while (el && el !== root && !PASTE_BLOCKS.has(el.tagName) && el.tagName !== 'TD' && el.tagName !== 'TH' && el.tagName !== 'BR')
                el = el.parentElement;
            return el;
        };
        const texts = [];
        for (let t = walker.nextNode(); t; t = walker.nextNode())
            texts.push(t);
        for (const t of texts) {
            if (t.parentElement && t.parentElement.closest('pre'))
                continue;
            const block = blockOfText(t);
            let prevBr = false;
            for (let p = t.previousSibling; p; p = p.previousSibling) {
                if (p.nodeType === Node.ELEMENT_NODE && p.tagName === 'BR')
                    prevBr = true;
                break;
            }
            const atStart = block !== lastBlock || prevBr || !lastText || /[ ]$/.test(lastText.data);
            if (atStart)
                t.data = t.data.replace(/^ +/, '');
            lastText = t.data ? t : lastText;
            lastBlock = block;
        }
        for (let i = texts.length - 1, after = null; i >= 0; i--) {
            const t = texts[i];
            if (!t.parentElement || t.parentElement.closest('pre'))
                continue;
            const block = blockOfText(t);
            let nextBr = false;
            for (let n = t.nextSibling; n; n = n.nextSibling) {
                if (n.nodeType === Node.ELEMENT_NODE && n.tagName === 'BR')
                    nextBr = true;
                break;
            }
            if (block !== after || nextBr)
                t.data = t.data.replace(/ +$/, '');
            if (t.data)
                after = block;
            else
                t.remove();
        }
        // Text left at the top level between blocks is only the source's line breaks.
        for (const c of [...root.childNodes])
            if (c.nodeType === Node.TEXT_NODE && !c.data)
                c.remove();
    }

    // The HTML another program put on the clipboard, as the page keeps it.
    qk.cleanPastedHtml = function (html) {
        const doc = new DOMParser().parseFromString(String(html), 'text/html');
        let from = doc.body;
        if (!from)
            return '';
        // A word processor marks the part that was copied within a whole page.
        const marks = [];
        const it = doc.createNodeIterator(doc, NodeFilter.SHOW_COMMENT);
        for (let c = it.nextNode(); c; c = it.nextNode())
            if (/^\s*(Start|End)Fragment\s*$/.test(c.data))
                marks.push(c);
        const start = marks.find((c) => /Start/.test(c.data));
        const end = marks.find((c) => /End/.test(c.data));
        if (start && end && (start.compareDocumentPosition(end) & Node.DOCUMENT_POSITION_FOLLOWING)) {
            const r = doc.createRange();
            r.setStartAfter(start);
            r.setEndBefore(end);
            from = doc.createElement('div');
            from.appendChild(r.cloneContents());
        }
        paragraphsToLists(from);
        const out = doc.createElement('div');
        cleanChildren(from, out, false);
        tidyPasted(out);
        return out.innerHTML;
    };

    // What the engine adds on its own to keep the look of text it moves or
    // pastes: a style on a span, a font. An element that stood in the page
    // before the edit, or in the markup inserted, keeps what it had.
    function signature(el) {
        return el.localName + '\u0001' + (el.getAttribute('style') || '') + '\u0001' +
               (el.getAttribute('face') || '') + '\u0001' + (el.getAttribute('color') || '') + '\u0001' +
               (el.getAttribute('size') || '');
    }

    function collectSignatures(nodes, into) {
        for (const n of nodes) {
            if (n.nodeType !== Node.ELEMENT_NODE)
                continue;
            into.add(signature(n));
            for (const d of n.querySelectorAll('[style],font'))
                into.add(signature(d));
        }
    }

    function dropEngineStyles(records, markup) {
        const known = new Set();
        const added = [];
        for (const r of records) {
            if (r.type !== 'childList')
                continue;
            collectSignatures(r.removedNodes, known);
            for (const n of r.addedNodes)
                if (n.nodeType === Node.ELEMENT_NODE && n.isConnected && !isOurs(n))
                    added.push(n);
        }
        if (!added.length)
            return;
        if (markup && /style=|<font/i.test(markup)) {
            const t = document.createElement('template');
            t.innerHTML = markup;
            collectSignatures(t.content.childNodes, known);
        }
        for (const top of added)
            for (const el of [top, ...top.querySelectorAll('[style],font')]) {
                if (!el.hasAttribute('style') && el.localName !== 'font')
                    continue;
                if (known.has(signature(el)) || idOf.has(el))
                    continue;
                if (el.localName === 'font') {
                    for (const name of ['face', 'color', 'size', 'style'])
                        el.removeAttribute(name);
                } else {
                    el.removeAttribute('style');
                }
                if (!el.attributes.length && (el.localName === 'span' || el.localName === 'font'))
                    engineWrappers.add(el);
            }
    }

    // A new page's first line is a paragraph, and so is every line Enter
    // makes after it (the start-up page is written with a division, the
    // block the page had always started with).
    let startLineDue = null; // null until the first edit has looked
    function paragraphForStartLine() {
        if (startLineDue === null)
            startLineDue = /^\?qk=start/.test(location.search);
        if (!startLineDue || !document.body)
            return;
        startLineDue = false;
        const kids = document.body.children;
        const div = kids.length === 1 ? kids[0] : null;
        if (!div || div.localName !== 'div' || div.attributes.length || div.children.length ||
            div.textContent !== '\u00a0')
            return;
        const r = selectionRange();
        const text = div.firstChild;
        const at = r && r.startContainer === text ? r.startOffset : 0;
        const p = document.createElement('p');
        p.appendChild(text);
        div.replaceWith(p);
        const caret = document.createRange();
        caret.setStart(text, Math.min(at, text.data.length));
        restoreRange(caret);
    }

    // Edits of the user's that move or re-create text: what the engine
    // styles on its own there goes again as part of the same edit.
    const RESTYLING_EDITS = /^(insertText|insertParagraph|insertLineBreak|insertFromPaste|insertFromDrop|insertReplacementText|insertCompositionText|delete.*)$/;
    let editRecords = null;
    document.addEventListener('beforeinput', (e) => {
        ensureIndexed();
        paragraphForStartLine();
        if (!RESTYLING_EDITS.test(e.inputType))
            return;
        flushMutations();
        editRecords = [];
        pasteRecords = editRecords;
    }, true);
    document.addEventListener('input', (e) => {
        if (!editRecords)
            return;
        flushMutations();
        const records = editRecords;
        editRecords = null;
        pasteRecords = null;
        if (RESTYLING_EDITS.test(e.inputType))
            dropEngineStyles(records, null);
        flushMutations();
    }, true);

    // Markup inserted as one step the engine's Undo takes back.
    function insertMarkup(markup) {
        flushMutations();
        const records = [];
        pasteRecords = records;
        let ok = false;
        try {
            ok = markup === '' ? true : document.execCommand('insertHTML', false, markup);
            flushMutations();
        } finally {
            pasteRecords = null;
        }
        dropEngineStyles(records, markup);
        flushMutations();
        return ok;
    }

    function escapeText(s) {
        return s.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
    }

    // Plain text: its lines become paragraphs of the kind the caret stands in.
    function plainMarkup(text) {
        const lines = String(text).replace(/\r\n?/g, '\n').split('\n');
        while (lines.length > 1 && lines[lines.length - 1] === '')
            lines.pop();
        const r = selectionRange();
        const block = r ? blockAround(r.startContainer) : null;
        const inPre = block && closest(block, 'pre');
        const line = (s) => escapeText(s).replace(/\t/g, ' ').replace(/ {2}/g, ' \u00a0');
        if (lines.length === 1 || inPre)
            return inPre ? escapeText(lines.join('\n')) : line(lines[0]);
        const kind = block && /^(P|DIV|H[1-6]|LI|DT|DD|ADDRESS)$/.test(block.tagName) && block !== document.body
            ? block.localName : 'p';
        return lines.map((s) => '<' + kind + '>' + (s === '' ? '<br>' : line(s)) + '</' + kind + '>').join('');
    }

    qk.pastePlain = function (text) {
        if (isControlSelected() || !selectionRange())
            return {ok: false, snap: snapshot()};
        paragraphForStartLine();
        replacePlaceholder({inputType: 'insertFromPaste'});
        const ok = insertMarkup(plainMarkup(text));
        return {ok: !!ok, snap: snapshot()};
    };

    // A copy of the page's own content: its markup as it stands here,
    // pasted back as such.
    let ownCopy = null;
    function sameText(s) {
        return String(s).replace(/[ \t\r\n\u00a0]+/g, ' ').trim();
    }
    function rememberCopy() {
        const r = selectionRange();
        if (!r || r.collapsed) {
            ownCopy = null;
            return;
        }
        const holder = document.createElement('div');
        holder.appendChild(r.cloneContents());
        withoutAids(holder);
        // The text as the engine puts it on the clipboard, lines and all.
        ownCopy = {text: sameText(document.getSelection().toString()), html: holder.innerHTML};
    }
    document.addEventListener('copy', rememberCopy, true);
    document.addEventListener('cut', rememberCopy, true);

    const PICTURE_MARK = '\u0001qk-picture ';
    document.addEventListener('paste', (e) => {
        const data = e.clipboardData;
        if (!data || document.designMode !== 'on')
            return;
        ensureIndexed();
        const types = [...data.types];
        const html = types.includes('text/html') ? data.getData('text/html') : '';
        const text = types.includes('text/plain') ? data.getData('text/plain') : '';
        const picture = [...data.items].some((i) => i.kind === 'file' && /^image\//.test(i.type));
        e.preventDefault();
        // A picture alone (a screenshot, a picture copied from a browser or
        // an image editor) becomes a file of the page's: the program writes it.
        if (picture && !/[^ \t\r\n\u00a0]/.test(text) &&
            (!html || !/[^ \t\r\n\u00a0]/.test(new DOMParser().parseFromString(html, 'text/html').body.textContent))) {
            console.info(PICTURE_MARK);
            return;
        }
        let markup;
        if (ownCopy && html && sameText(text) === ownCopy.text)
            markup = ownCopy.html;
        else if (html)
            markup = qk.cleanPastedHtml(html);
        else
            markup = plainMarkup(text);
        // Markup that keeps nothing (only comments, say) leaves its text.
        if (markup === '' && html && /[^ \t\r\n\u00a0]/.test(text))
            markup = plainMarkup(text);
        if (markup === '')
            return;
        paragraphForStartLine();
        replacePlaceholder({inputType: 'insertFromPaste'});
        insertMarkup(markup);
        markDirty();
        schedulePush();
    }, true);
